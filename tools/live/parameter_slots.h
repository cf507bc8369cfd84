// Parameter changes handed from the control thread to the audio thread without locks or waiting.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

struct ParameterChange {
    int32_t index = 0;
    float normalizedValue = 0.0f;
};

/// One pending value per parameter, for exactly one producer thread and one consumer thread. A
/// value the consumer has not taken yet is replaced by a newer one for the same parameter, so the
/// latest value of each parameter always arrives, however fast changes come. Sized once, for the
/// first `kMaxParameters` parameters at most; neither side allocates, locks or waits.
class ParameterSlots {
public:
    static constexpr int32_t kMaxParameters = 65536;

    explicit ParameterSlots(int32_t parameterCount)
        : count(static_cast<size_t>(parameterCount < 0 ? 0 : std::min(parameterCount, kMaxParameters))),
          slots(new std::atomic<uint64_t>[count]()) {}

    /// Producer side only. False when the parameter has no slot.
    bool put(const ParameterChange& change) {
        if (change.index < 0 || static_cast<size_t>(change.index) >= count) {
            return false;
        }
        uint32_t bits = 0;
        std::memcpy(&bits, &change.normalizedValue, sizeof bits);
        const uint64_t previous = slots[change.index].exchange(kPending | bits, std::memory_order_release);
        if ((previous & kPending) != 0) {
            ++replacedCount;
        }
        anyPending.store(true, std::memory_order_release);  // after the slot, so the consumer finds it
        return true;
    }

    /// Producer side: how many values were replaced before the consumer took them, since the last call.
    uint64_t takeReplacedCount() {
        const uint64_t replaced = replacedCount;
        replacedCount = 0;
        return replaced;
    }

    /// Consumer side only: `apply(index, normalizedValue)` for every parameter with a pending value.
    template <typename Apply>
    void takeAll(Apply apply) {
        if (!anyPending.exchange(false, std::memory_order_acquire)) {
            return;
        }
        for (size_t i = 0; i < count; ++i) {
            const uint64_t slot = slots[i].exchange(0, std::memory_order_acquire);
            if ((slot & kPending) != 0) {
                const auto bits = static_cast<uint32_t>(slot);
                float value = 0.0f;
                std::memcpy(&value, &bits, sizeof value);
                apply(static_cast<int32_t>(i), value);
            }
        }
    }

private:
    static constexpr uint64_t kPending = uint64_t{1} << 32;  ///< above the value's 32 bits

    size_t count;
    std::unique_ptr<std::atomic<uint64_t>[]> slots;
    std::atomic<bool> anyPending{false};
    uint64_t replacedCount = 0;  ///< the producer's own
};
