#include "search/PhoneLibrary.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <dlfcn.h>

namespace {

/// The module beside the running program: lib/quillory/modules in its folder's parent,
/// where the package installs it (/usr/bin, /usr/lib/quillory/modules) and the build
/// puts it.
std::string modulePath()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return (program.parent_path().parent_path() / "lib/quillory/modules" / QUILLORY_PHONE_MODULE)
        .string();
}

const PhoneLibrary *load()
{
    const std::string path = modulePath();
    void *const module = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Entry = const PhoneLibrary *(*)();
    const auto entry = module
        ? reinterpret_cast<Entry>(dlsym(module, QT_STRINGIFY(QUILLORY_PHONE_ENTRY)))
        : nullptr;
    if (const PhoneLibrary *const library = entry ? entry() : nullptr)
        return library;
    // dlerror names the module and why it could not be opened.
    const char *const opening = path.empty() ? nullptr : dlerror();
    const std::string why = module ? path + ": it is of another version of the program"
        : opening                  ? std::string(opening)
                                   : std::string("the program's folder is unknown");
    std::fprintf(stderr,
                 "%s: phone numbers are compared by their digits alone: their library could "
                 "not be loaded: %s\n",
                 program_invocation_short_name, why.c_str());
    return nullptr;
}

} // namespace

const PhoneLibrary *PhoneLibrary::get()
{
    static const PhoneLibrary *const library = load();
    return library;
}
