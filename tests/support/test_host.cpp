#include "support/test_host.h"

#include <dlfcn.h>

#include <stdexcept>

namespace {
thread_local RecordingHost* currentHost = nullptr;
}

RecordingHost::RecordingHost() { currentHost = this; }

RecordingHost::~RecordingHost() {
    if (currentHost == this) {
        currentHost = nullptr;
    }
}

intptr_t RecordingHost::callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt) {
    RecordingHost* host = currentHost;
    if (host == nullptr) {
        return opcode == audioMasterVersion ? 2400 : 0;
    }
    const HostRequest request{effect, opcode, index, value, ptr, opt};
    host->requests.push_back(request);
    if (opcode == audioMasterVersion && effect == nullptr) {
        return host->versionAnswer;
    }
    return host->answer ? host->answer(request) : 0;
}

LoadedModule::LoadedModule(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle == nullptr) {
        throw std::runtime_error("cannot load " + path + ": " + dlerror());
    }
}

LoadedModule::~LoadedModule() { dlclose(handle); }

void* LoadedModule::symbol(const char* name) const { return dlsym(handle, name); }

PluginMainProc LoadedModule::entry(const char* name) const {
    return reinterpret_cast<PluginMainProc>(symbol(name));
}

PluginInstance::PluginInstance(const LoadedModule& module, audioMasterCallback callback)
    : record(module.entry()(callback)) {
    if (record == nullptr) {
        throw std::runtime_error("the module's entry returned no effect");
    }
}

PluginInstance::~PluginInstance() {
    if (record != nullptr) {
        close();
    }
}

intptr_t PluginInstance::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) const {
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

std::string PluginInstance::text(int32_t opcode, int32_t index, size_t bytes) const {
    std::vector<char> buffer(bytes, '\0');
    dispatch(opcode, index, 0, buffer.data());
    return std::string(buffer.data());
}

void PluginInstance::processReplacing(const float* in, float* out, int32_t frames) const {
    float* inputs[] = {const_cast<float*>(in)};
    float* outputs[] = {out};
    record->processReplacing(record, inputs, outputs, frames);
}

void PluginInstance::process(const float* in, float* out, int32_t frames) const {
    float* inputs[] = {const_cast<float*>(in)};
    float* outputs[] = {out};
    record->process(record, inputs, outputs, frames);
}

intptr_t PluginInstance::close() {
    const intptr_t answer = dispatch(effClose);
    record = nullptr;
    return answer;
}
