#include "kit/crash_guard.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace {

// The handler reads only these. Each thread marks its own calls: a fault is delivered to the
// thread that made it, so a live host's audio thread and control thread never mix up each other's
// steps. Initial-exec TLS lives in the executable's static block, which a handler may read; the
// marks are lock-free atomics, also safe there.
const char* volatile guardedToolName = "";
char fileToRemove[4096];
volatile sig_atomic_t hasFileToRemove = 0;
__attribute__((tls_model("initial-exec"))) thread_local std::atomic<const char*> currentModule{nullptr};
__attribute__((tls_model("initial-exec"))) thread_local std::atomic<const char*> currentStep{nullptr};
__attribute__((tls_model("initial-exec"))) thread_local std::atomic<int32_t> currentOpcode{-1};
static_assert(std::atomic<const char*>::is_always_lock_free && std::atomic<int32_t>::is_always_lock_free,
              "a signal handler may read only lock-free atomics");

struct SignalName {
    int number;
    const char* name;
};

// Signals that mean a fault in the code that was running, as opposed to a request to stop.
constexpr SignalName kCrashSignals[] = {{SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
                                        {SIGILL, "SIGILL"},   {SIGABRT, "SIGABRT"}, {SIGTRAP, "SIGTRAP"},
                                        {SIGSYS, "SIGSYS"}};

// Every other signal whose default action ends the process and that a process may catch.
constexpr int kStopSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE,
                                SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGSTKFLT};

const char* crashSignalName(int signalNumber) {
    for (const SignalName& entry : kCrashSignals) {
        if (entry.number == signalNumber) {
            return entry.name;
        }
    }
    return nullptr;
}

void writeText(const char* text) {
    size_t length = std::strlen(text);
    while (length > 0) {
        const ssize_t written = ::write(STDERR_FILENO, text, length);
        if (written <= 0) {
            return;
        }
        text += written;
        length -= static_cast<size_t>(written);
    }
}

/// A path inside quotes, control characters shown as '?' so that the report stays on one line.
void writeQuotedPath(const char* path) {
    char buffer[256];
    size_t used = 0;
    buffer[used++] = '\'';
    for (const char* c = path; *c != '\0'; ++c) {
        if (used + 2 >= sizeof buffer) {
            buffer[used] = '\0';
            writeText(buffer);
            used = 0;
        }
        buffer[used++] = static_cast<unsigned char>(*c) < 0x20 ? '?' : *c;
    }
    buffer[used++] = '\'';
    buffer[used] = '\0';
    writeText(buffer);
}

void writeNumber(int32_t value) {
    char digits[16];
    char* end = digits + sizeof digits - 1;
    *end = '\0';
    char* begin = end;
    const bool negative = value < 0;
    auto magnitude = static_cast<uint32_t>(negative ? -static_cast<int64_t>(value) : value);
    do {
        *--begin = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) {
        *--begin = '-';
    }
    writeText(begin);
}

void reportCrash(const char* signalName) {
    const char* module = currentModule.load(std::memory_order_relaxed);
    writeText(guardedToolName);
    writeText(": ");
    if (module == nullptr) {
        writeText("crashed");
    } else {
        writeQuotedPath(module);
        writeText(" crashed in ");
        writeText(currentStep.load(std::memory_order_relaxed));
        const int32_t opcode = currentOpcode.load(std::memory_order_relaxed);
        if (opcode >= 0) {
            writeText(" (opcode ");
            writeNumber(opcode);
            writeText(")");
        }
    }
    writeText(" (");
    writeText(signalName);
    writeText(")\n");
}

extern "C" void endWithSignal(int signalNumber) {
    if (hasFileToRemove != 0) {
        ::unlink(fileToRemove);
    }
    if (const char* name = crashSignalName(signalNumber)) {
        reportCrash(name);
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signalNumber, &fallback, nullptr);
    // Blocked while this handler runs, so delivered with the default action as it returns; a
    // fault instead recurs at the faulting instruction, now with the default action.
    ::raise(signalNumber);
}

void guard(int signalNumber) {
    struct sigaction inherited {};
    if (::sigaction(signalNumber, nullptr, &inherited) != 0 || inherited.sa_handler == SIG_IGN) {
        return;
    }
    struct sigaction handler {};
    handler.sa_handler = endWithSignal;
    ::sigfillset(&handler.sa_mask);
    ::sigaction(signalNumber, &handler, nullptr);
}

/// A signal on this thread sees the stores in order: the step is set before the module that
/// announces it.
void mark(const char* module, const char* step, int32_t opcode) {
    currentStep.store(step, std::memory_order_relaxed);
    currentOpcode.store(opcode, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_release);
    currentModule.store(module, std::memory_order_relaxed);
}

}  // namespace

void installCrashReports(const char* toolName) {
    guardedToolName = toolName;
    for (const SignalName& entry : kCrashSignals) {
        guard(entry.number);
    }
}

void installSignalGuards(const char* toolName) {
    installCrashReports(toolName);
    for (int signalNumber : kStopSignals) {
        guard(signalNumber);
    }
    for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber) {
        guard(signalNumber);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

void removeOnFatalSignal(const char* path) {
    hasFileToRemove = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (path == nullptr || std::strlen(path) >= sizeof fileToRemove) {
        return;
    }
    std::strcpy(fileToRemove, path);
    std::atomic_signal_fence(std::memory_order_seq_cst);  // the path is complete before it is used
    hasFileToRemove = 1;
}

ModuleCall::ModuleCall(const char* modulePath, const char* step, int32_t opcode)
    : outerModule(currentModule.load(std::memory_order_relaxed)),
      outerStep(currentStep.load(std::memory_order_relaxed)),
      outerOpcode(currentOpcode.load(std::memory_order_relaxed)) {
    mark(modulePath, step, opcode);
}

ModuleCall::~ModuleCall() { mark(outerModule, outerStep, outerOpcode); }
