// An owned float array that starts on a 64-byte boundary, where the widest vector registers
// load and store a cache line at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace spectral {

/// `count` floats, uninitialised, from one allocation of count + 15 floats (so the first can be
/// put on a 64-byte boundary wherever the allocator places the block); no allocation and a null
/// get() for count 0. Not copyable.
class AlignedFloats {
public:
    static constexpr std::size_t alignmentBytes = 64;

    explicit AlignedFloats(std::size_t count)
        : storage(count > 0 ? new float[count + alignmentBytes / sizeof(float) - 1] : nullptr),
          first(alignUp(storage.get())) {}

    float* get() const { return first; }
    float& operator[](std::size_t i) const { return first[i]; }

private:
    static float* alignUp(float* p) {
        if (p == nullptr) return nullptr;
        const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p);
        return reinterpret_cast<float*>((address + alignmentBytes - 1) & ~std::uintptr_t{alignmentBytes - 1});
    }

    std::unique_ptr<float[]> storage;
    float* first;
};

}  // namespace spectral
