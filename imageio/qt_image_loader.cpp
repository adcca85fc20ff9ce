// The program's side: finds the module where it is installed beside the program, or in the
// build tree.
#include "qt_image_module.h"

#include <dlfcn.h>
#include <filesystem>
#include <vector>

namespace {

std::vector<std::string> ModuleCandidates() {
    std::vector<std::string> paths;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        paths.push_back((program.parent_path() / ".." / PICTOR_QT_IMAGES_INSTALL_DIR /
                         PICTOR_QT_IMAGES_MODULE_NAME)
                            .string());
    paths.emplace_back(PICTOR_QT_IMAGES_BUILD_PATH);
    return paths;
}

const QtImageFunctions* LoadModule() {
    std::string reason = "not found";
    for (const std::string& path : ModuleCandidates()) {
        if (!std::filesystem::exists(path)) continue;
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            reason = dlerror();
            continue;
        }
        using Entry = const QtImageFunctions* (*)();
        if (const auto entry = reinterpret_cast<Entry>(dlsym(module, kQtImageEntryPoint)))
            return entry();
        reason = path + " has no entry point";
    }
    throw ImageFileError("The image formats of the Qt library cannot be loaded (" + reason + ").");
}

} // namespace

const QtImageFunctions& QtImages() {
    // A failed load throws and is tried again next time.
    static const QtImageFunctions* const functions = LoadModule();
    return *functions;
}
