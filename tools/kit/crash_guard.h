// What happens when a signal ends the tool: the output's temporary file is removed, a crash inside
// an effect module is named in one line on stderr, and the signal is raised again with its default
// action so that the parent sees the true cause of death.
#pragma once

#include <cstdint>

/// Installs the handlers, once per process, for every catchable signal whose default action ends
/// the process. A signal inherited as ignored (nohup, a background job) stays ignored. SIGXFSZ is
/// ignored, so a write beyond `ulimit -f` fails with EFBIG and is reported like any failed write.
/// `toolName` prefixes the crash line and must outlive the process (a string literal).
void installSignalGuards(const char* toolName);

/// The crash reports alone, for a tool that handles its other signals itself: only the signals
/// that mean a fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS) are guarded.
void installCrashReports(const char* toolName);

/// The file a fatal signal removes; nullptr for none. The path is copied (up to 4095 bytes).
void removeOnFatalSignal(const char* path);

/// Marks a call into an effect module for as long as it lives, so that a crash inside the call is
/// reported as "'<module>' crashed in <step> (SIGSEGV)". Scopes nest; the innermost is reported.
/// Each thread has its own scopes. `modulePath` and `step` must outlive the scope. Costs a few
/// relaxed atomic stores and takes no lock: fit for the audio path.
class ModuleCall {
public:
    ModuleCall(const char* modulePath, const char* step, int32_t opcode = -1);
    ~ModuleCall();
    ModuleCall(const ModuleCall&) = delete;
    ModuleCall& operator=(const ModuleCall&) = delete;

private:
    const char* outerModule;
    const char* outerStep;
    int32_t outerOpcode;
};
