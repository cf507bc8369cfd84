// A VST 2 effect module opened with the dynamic loader, and where the tool finds its own.
#pragma once

#include <string>

#include "host/effect_record.h"

/// Owns the loaded module: unloaded when destroyed, so every effect made from it must be closed first.
class PluginModule {
public:
    /// Loads the module. Throws ToolError naming the path when it is missing or the loader refuses it.
    explicit PluginModule(std::string path);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    /// The exported entry: "VSTPluginMain" if present, "main" otherwise. Throws ToolError if neither exists.
    PluginMainProc entry() const;
    const std::string& path() const { return modulePath; }

private:
    std::string modulePath;
    void* handle;
};

/// The Tinvoicer module that belongs to this tool: beside the executable (the build folder), else in
/// the installed module folder. Throws ToolError when neither holds it.
std::string defaultModulePath();

/// What --help says of the module a tool loads without --plugin, for each way it is installed: a
/// few indented lines.
std::string defaultModuleHelp(const std::string& toolName);
