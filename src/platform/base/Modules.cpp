#include "Modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace {

std::string ProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string program(path, size_t(length));
    return program.substr(0, program.rfind('/'));
}

} // namespace

void* ModuleEntry(const char* name, const char* entry, std::string& error)
{
    const std::string file = std::string(name) + ".so";
    const std::string program = ProgramFolder();
    error.clear();
    std::string folders[] = {program, program + "/../lib/orvex", {}};
#ifdef ORVEX_MODULE_BUILD_DIR
    folders[2] = ORVEX_MODULE_BUILD_DIR;
#endif
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        const std::string path = folder + '/' + file;
        if (::access(path.c_str(), R_OK) != 0)
            continue;
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            error = ::dlerror();
            return nullptr;
        }
        if (void* address = ::dlsym(module, entry))
            return address;
        error = path + " has no " + entry;
        return nullptr;
    }
    error = "the module " + file + " is not installed";
    return nullptr;
}

void* LoadLibraryOnce(const char* soname, std::string& error)
{
    error.clear();
    // dlopen answers the same handle for a library already loaded.
    void* library = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        error = ::dlerror();
    return library;
}

void* LibraryFunction(void* library, const char* name)
{
    return library ? ::dlsym(library, name) : nullptr;
}
