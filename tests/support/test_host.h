// A host for tests: loads the real module with the dynamic loader (LoadLibrary on Windows), calls its entry with a
// callback that records every request, and drives the effect only through its C entries.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "support/recording_host.h"

/// The module file, open for the object's lifetime.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& path = TINVOICER_MODULE_PATH);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    /// The exported function of that name, or null.
    void* symbol(const char* name) const;
    PluginMainProc entry(const char* name = "main") const;
    /// Every symbol the module file exports, read from the file's own export table
    /// (ordinal-only exports of a Windows DLL appear as "#<ordinal>").
    std::set<std::string> exportedNames() const;

private:
    std::string path;
    void* handle;
};

/// One effect made by the module's entry; closed through the dispatcher when destroyed.
class PluginInstance {
public:
    PluginInstance(const LoadedModule& module, audioMasterCallback callback = RecordingHost::callback);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect* effect() const { return record; }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) const;
    /// Sends a text opcode with a zeroed buffer of `bytes` and returns what the effect wrote.
    std::string text(int32_t opcode, int32_t index = 0, size_t bytes = 256) const;
    void setParameter(int32_t index, float value) const { record->setParameter(record, index, value); }
    float getParameter(int32_t index) const { return record->getParameter(record, index); }
    void processReplacing(const float* in, float* out, int32_t frames) const;
    void process(const float* in, float* out, int32_t frames) const;
    /// Closes the effect now; returns the dispatcher's answer.
    intptr_t close();

private:
    AEffect* record;
};
