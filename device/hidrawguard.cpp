// Linked into the programs that use hidapi's hidraw backend, beside it.
//
// The hidraw backend of hidapi 0.13 reads the "uevent" attribute of a meter's
// HID device whenever it lists the meters or first reads a handle's strings,
// and hands the text to strlen without looking. A meter pulled out at that
// moment has no such attribute any more: libudev answers NULL and the program
// dies. The library reaches libudev through the dynamic linker, which finds
// this definition first; it passes every call on and answers an empty text
// instead of NULL for "uevent", which hidapi takes as a device it cannot use
// and leaves out.
#include <dlfcn.h>

#include <cstring>

struct udev_device;

extern "C" const char *udev_device_get_sysattr_value(struct udev_device *device, const char *sysattr)
{
    using Getter = const char *(*)(struct udev_device *, const char *);
    static const Getter next = reinterpret_cast<Getter>(dlsym(RTLD_NEXT, "udev_device_get_sysattr_value"));
    const char *value = next ? next(device, sysattr) : nullptr;
    if (!value && sysattr && std::strcmp(sysattr, "uevent") == 0)
        return "";
    return value;
}
