#pragma once

struct hid_device_;
typedef struct hid_device_ hid_device;
struct hid_device_info;

// hidapi keeps one error string for the whole process: hid_init, hid_exit,
// hid_enumerate and the hid_open calls free it and store a new one, so two
// threads in them at once free it twice and corrupt the heap. The worker
// thread looks for the meter while the window lists and opens it; every such
// call in the program goes through these, one thread at a time.
namespace HidGlobal {

int init();
void exit();
// Release the list with hid_free_enumeration.
hid_device_info *enumerate(unsigned short vid, unsigned short pid);
hid_device *open(unsigned short vid, unsigned short pid, const wchar_t *serial);
// errno tells why it failed, as hid_open_path left it.
hid_device *openPath(const char *path);

} // namespace HidGlobal
