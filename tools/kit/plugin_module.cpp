#include "kit/plugin_module.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "kit/crash_guard.h"
#include "kit/tool_error.h"

namespace {

bool isRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

/// The loader's message on one line; some loaders' messages repeat the path, which is harmless.
std::string lastLoaderError() {
    const char* message = ::dlerror();
    std::string text = message != nullptr ? message : "unknown reason";
    for (char& c : text) {
        if (c == '\n') {
            c = ' ';
        }
    }
    return text;
}

std::string executableFolder() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return ".";
    }
    const std::string path(buffer.data(), static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

PluginModule::PluginModule(std::string path) : modulePath(std::move(path)), handle(nullptr) {
    struct stat status {};
    if (::stat(modulePath.c_str(), &status) != 0) {
        throw ToolError(quoted(modulePath) + ": cannot load module: " + std::strerror(errno));
    }
    // Without a slash the loader would search the library path instead of opening this file.
    const std::string loadPath = modulePath.find('/') == std::string::npos ? "./" + modulePath : modulePath;
    {
        // Loading runs the module's own initialisers, which may crash too.
        const ModuleCall call(modulePath.c_str(), "its initialisers");
        handle = ::dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        throw ToolError(quoted(modulePath) + ": cannot load module: " + lastLoaderError());
    }
}

PluginModule::~PluginModule() { ::dlclose(handle); }

PluginMainProc PluginModule::entry() const {
    for (const char* name : {"VSTPluginMain", "main"}) {
        if (void* symbol = ::dlsym(handle, name)) {
            return reinterpret_cast<PluginMainProc>(symbol);
        }
    }
    throw ToolError(quoted(modulePath) + ": not a VST 2 module: exports neither VSTPluginMain nor main");
}

std::string defaultModulePath() {
    const std::string folder = executableFolder();
    const std::vector<std::string> candidates = {
        folder + "/" TINVOICER_MODULE_FILE_NAME,
        folder + "/" TINVOICER_INSTALLED_MODULE_FOLDER "/" TINVOICER_MODULE_FILE_NAME,
    };
    for (const std::string& candidate : candidates) {
        if (isRegularFile(candidate)) {
            return candidate;
        }
    }
    throw ToolError(quoted(candidates.front()) + ": no " TINVOICER_MODULE_FILE_NAME
                                                 " beside the tool (build it, or name a module with --plugin)");
}

std::string defaultModuleHelp(const std::string& toolName) {
    return "  Without --plugin, the tool loads the Tinvoicer module that came with it: " TINVOICER_MODULE_FILE_NAME
           "\n"
           "  in the tool's own folder, as in a build folder, else " TINVOICER_INSTALLED_MODULE_FOLDER
           "/" TINVOICER_MODULE_FILE_NAME
           "\n"
           "  from that folder, where an installation puts it: " TINVOICER_PACKAGED_MODULE_FOLDER
           "/" TINVOICER_MODULE_FILE_NAME
           "\n"
           "  for the Debian package's " TINVOICER_PACKAGED_TOOL_FOLDER "/" +
           toolName + ".\n";
}
