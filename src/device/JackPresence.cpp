#include "src/device/JackPresence.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

bool Exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// True when the libjack this process loaded is PipeWire's stand-in.
bool PipeWireJack()
{
    void* open = ::dlsym(RTLD_DEFAULT, "jack_client_open");
    Dl_info where;
    return open != nullptr && ::dladdr(open, &where) != 0 && where.dli_fname != nullptr &&
           std::strstr(where.dli_fname, "pipewire") != nullptr;
}

} // namespace

bool JackServerMayRun(const std::string& server)
{
    if (PipeWireJack()) {
        return true;
    }
    const std::string uid = std::to_string(::getuid());
    // JACK 2 listens on DIR/jack_SERVER_UID_0; JACK 1 keeps DIR/jack-UID/SERVER/.
    for (const char* dir : {"/dev/shm", "/tmp"}) {
        const std::string base = dir;
        if (Exists(base + "/jack_" + server + "_" + uid + "_0") ||
            Exists(base + "/jack-" + uid + "/" + server)) {
            return true;
        }
    }
    return false;
}
