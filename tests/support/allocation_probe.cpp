#include "support/allocation_probe.h"

#include <cstdlib>
#include <new>

namespace {

constexpr int maxRecorded = 64;
bool recording = false;
int allocationCount = 0;
std::size_t recordedSizes[maxRecorded];

void* allocate(std::size_t bytes) {
    if (recording) {
        if (allocationCount < maxRecorded) recordedSizes[allocationCount] = bytes;
        ++allocationCount;
    }
    void* p = std::malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t bytes) { return allocate(bytes); }
void* operator new[](std::size_t bytes) { return allocate(bytes); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

AllocationProbe::AllocationProbe() {
    allocationCount = 0;
    recording = true;
}

AllocationProbe::~AllocationProbe() { recording = false; }

int AllocationProbe::count() const { return allocationCount; }

std::vector<std::size_t> AllocationProbe::sizes() const {
    const bool wasRecording = recording;
    recording = false;
    const int recorded = allocationCount < maxRecorded ? allocationCount : maxRecorded;
    std::vector<std::size_t> result(recordedSizes, recordedSizes + recorded);
    recording = wasRecording;
    return result;
}
