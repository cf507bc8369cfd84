#include "support/test_host.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <memory>
#include <stdexcept>

#if defined(_WIN32)

LoadedModule::LoadedModule(const std::string& file) : path(file), handle(LoadLibraryA(file.c_str())) {
    if (handle == nullptr) {
        throw std::runtime_error("cannot load " + path + ": error " + std::to_string(GetLastError()));
    }
}

LoadedModule::~LoadedModule() { FreeLibrary(static_cast<HMODULE>(handle)); }

void* LoadedModule::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

// The loaded image is the file mapped at its base address: walk its export directory.
std::set<std::string> LoadedModule::exportedNames() const {
    const auto* base = static_cast<const unsigned char*>(handle);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::set<std::string> exported;
    if (directory.Size == 0) {
        return exported;
    }
    const auto* table = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* functions = reinterpret_cast<const DWORD*>(base + table->AddressOfFunctions);
    const auto* names = reinterpret_cast<const DWORD*>(base + table->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + table->AddressOfNameOrdinals);
    std::vector<bool> named(table->NumberOfFunctions, false);
    for (DWORD i = 0; i < table->NumberOfNames; ++i) {
        exported.insert(reinterpret_cast<const char*>(base + names[i]));
        if (ordinals[i] < named.size()) {
            named[ordinals[i]] = true;
        }
    }
    for (DWORD i = 0; i < table->NumberOfFunctions; ++i) {
        if (functions[i] != 0 && !named[i]) {
            exported.insert("#" + std::to_string(table->Base + i));
        }
    }
    return exported;
}

#else

LoadedModule::LoadedModule(const std::string& file) : path(file), handle(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle == nullptr) {
        throw std::runtime_error("cannot load " + path + ": " + dlerror());
    }
}

LoadedModule::~LoadedModule() { dlclose(handle); }

void* LoadedModule::symbol(const char* name) const { return dlsym(handle, name); }

// The dynamic symbol table as binutils reads it from the file, defined symbols only.
std::set<std::string> LoadedModule::exportedNames() const {
    const std::string command = "nm -D --defined-only '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run " + command);
    }
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        char type = 0;
        char name[400] = {};
        if (std::sscanf(line, "%*s %c %399s", &type, name) == 2) {
            exported.insert(name);
        }
    }
    return exported;
}

#endif

PluginMainProc LoadedModule::entry(const char* name) const { return reinterpret_cast<PluginMainProc>(symbol(name)); }

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
