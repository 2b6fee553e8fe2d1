#include "device/hidglobal.h"

#include <hidapi.h>

#include <cerrno>
#include <mutex>

namespace {
std::mutex &lock()
{
    static std::mutex m;
    return m;
}
} // namespace

namespace HidGlobal {

int init()
{
    std::lock_guard<std::mutex> guard(lock());
    return hid_init();
}

void exit()
{
    std::lock_guard<std::mutex> guard(lock());
    hid_exit();
}

hid_device_info *enumerate(unsigned short vid, unsigned short pid)
{
    std::lock_guard<std::mutex> guard(lock());
    return hid_enumerate(vid, pid);
}

hid_device *open(unsigned short vid, unsigned short pid, const wchar_t *serial)
{
    std::lock_guard<std::mutex> guard(lock());
    return hid_open(vid, pid, serial);
}

hid_device *openPath(const char *path)
{
    hid_device *handle;
    int error;
    {
        std::lock_guard<std::mutex> guard(lock());
        errno = 0;
        handle = hid_open_path(path);
        error = errno;
    }
    errno = error;
    return handle;
}

} // namespace HidGlobal
