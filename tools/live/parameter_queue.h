// Parameter changes handed from the control thread to the audio thread without locks or waiting.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

struct ParameterChange {
    int32_t index = 0;
    float normalizedValue = 0.0f;
};

/// A fixed ring for exactly one producer thread and one consumer thread. Neither side allocates,
/// locks or waits: push() fails when the ring is full, pop() when it is empty. Holds Capacity - 1
/// items, since a full ring and an empty one must look different.
template <typename Item, size_t Capacity>
class SpscQueue {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "Capacity must be a power of two");

public:
    /// Producer side only.
    bool push(const Item& item) {
        const size_t tail = writeIndex.load(std::memory_order_relaxed);
        const size_t next = (tail + 1) & (Capacity - 1);
        if (next == readIndex.load(std::memory_order_acquire)) {
            return false;
        }
        slots[tail] = item;
        writeIndex.store(next, std::memory_order_release);  // publishes the slot written above
        return true;
    }

    /// Consumer side only.
    bool pop(Item& item) {
        const size_t head = readIndex.load(std::memory_order_relaxed);
        if (head == writeIndex.load(std::memory_order_acquire)) {
            return false;
        }
        item = slots[head];
        readIndex.store((head + 1) & (Capacity - 1), std::memory_order_release);  // frees the slot
        return true;
    }

private:
    std::array<Item, Capacity> slots{};
    std::atomic<size_t> readIndex{0};
    std::atomic<size_t> writeIndex{0};
};
