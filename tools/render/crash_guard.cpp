#include "crash_guard.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace {

// The handler reads only these: plain memory written before any signal can need it.
const char* volatile guardedToolName = "";
char fileToRemove[4096];
volatile sig_atomic_t hasFileToRemove = 0;
const char* volatile currentModule = nullptr;
const char* volatile currentStep = nullptr;
volatile int32_t currentOpcode = -1;

struct SignalName {
    int number;
    const char* name;
};

// Signals that mean a fault in the code that was running, as opposed to a request to stop.
constexpr SignalName kCrashSignals[] = {{SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGFPE, "SIGFPE"},
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
    writeText(guardedToolName);
    writeText(": ");
    if (currentModule == nullptr) {
        writeText("crashed");
    } else {
        writeQuotedPath(currentModule);
        writeText(" crashed in ");
        writeText(currentStep);
        if (currentOpcode >= 0) {
            writeText(" (opcode ");
            writeNumber(currentOpcode);
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

}  // namespace

void installSignalGuards(const char* toolName) {
    guardedToolName = toolName;
    for (const SignalName& entry : kCrashSignals) {
        guard(entry.number);
    }
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
    : outerModule(currentModule), outerStep(currentStep), outerOpcode(currentOpcode) {
    currentStep = step;
    currentOpcode = opcode;
    currentModule = modulePath;
}

ModuleCall::~ModuleCall() {
    currentModule = outerModule;
    currentStep = outerStep;
    currentOpcode = outerOpcode;
}
