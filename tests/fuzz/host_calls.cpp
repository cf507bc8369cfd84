#include "fuzz/host_calls.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/text_opcodes.h"

namespace host_calls {
namespace {

// Reads values from the input; past its end every read gives zeros.
class Bytes {
public:
    Bytes(const uint8_t* data, std::size_t size) : data(data), size(size) {}

    bool empty() const { return at >= size; }

    template <typename T>
    T take() {
        T value{};
        const std::size_t n = at < size ? std::min(sizeof value, size - at) : 0;
        if (n > 0) std::memcpy(&value, data + at, n);
        at += sizeof value;
        return value;
    }

private:
    const uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

// The version the host answers; read from the callback, which has no state of its own.
thread_local intptr_t versionAnswer = 2400;

intptr_t callback(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == audioMasterVersion ? versionAnswer : 0;
}

// Mostly opcodes the effect knows (and a few around them), sometimes any 32-bit number.
int32_t takeOpcode(Bytes& bytes) {
    const auto choice = bytes.take<uint8_t>();
    if (choice < 240) return static_cast<int32_t>(choice % 76) - 3;
    return bytes.take<int32_t>();
}

// Mostly small indexes, around the parameter and program counts.
int32_t takeIndex(Bytes& bytes) {
    const auto choice = bytes.take<int8_t>();
    if (choice != -128) return choice % 8;
    return bytes.take<int32_t>();
}

constexpr std::size_t kBufferSizes[] = {9, 24, 32, 64, 100, 256};
constexpr std::size_t kRecordBytes = 1024;  // larger than any record the interface passes

void dispatch(AEffect*& effect, PluginMainProc entry, Bytes& bytes) {
    const int32_t opcode = takeOpcode(bytes);
    const int32_t index = takeIndex(bytes);
    auto value = static_cast<intptr_t>(bytes.take<int32_t>());
    const auto opt = bytes.take<float>();
    const auto pointerKind = bytes.take<uint8_t>();

    std::vector<char> buffer;
    void* ptr = nullptr;
    if (const TextOpcode* text = findTextOpcode(opcode)) {
        if (pointerKind % 8 != 0) {  // now and then no buffer at all: the effect must answer 0
            // At least the size hosts use for this text, exactly that large so that the
            // sanitizer sees a write past it.
            const std::size_t bytesGiven = std::max(text->hostBytes, kBufferSizes[pointerKind % 6]);
            buffer.resize(bytesGiven);
            for (char& c : buffer) c = static_cast<char>(bytes.take<uint8_t>());
            // A text handed in is terminated; a buffer handed out holds garbage, as hosts' do.
            if (text->effectReads) buffer.back() = '\0';
            ptr = buffer.data();
        }
    } else if (pointerKind % 2 == 1) {
        buffer.assign(kRecordBytes, '\0');
        ptr = buffer.data();
        if (opcode == effSetSpeakerArrangement) value = reinterpret_cast<intptr_t>(ptr);  // two records
    }

    if (opcode == effClose) {
        effect->dispatcher(effect, effClose, index, value, ptr, opt);
        effect = entry(callback);  // the host opens a new one
        return;
    }
    effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// A block of 0 to 4096 samples (now and then a negative count): samples from the input, then a
// cheap pseudo-random continuation so that long blocks cost few input bytes.
void processBlock(AEffect* effect, Bytes& bytes, bool replacing) {
    const auto choice = bytes.take<uint16_t>();
    int32_t frames = choice % 4097;
    if (choice >= 0xfff0) frames = -static_cast<int32_t>(choice & 0xf) - (choice == 0xffff ? 0x7ffffff0 : 0);
    const auto given = static_cast<std::size_t>(frames > 0 ? frames : 0);
    std::vector<float> input(given > 0 ? given : 1, 0.0f);
    std::vector<float> output(input.size(), 0.25f);
    const std::size_t literal = std::min<std::size_t>(given, bytes.take<uint8_t>());
    for (std::size_t i = 0; i < literal; ++i) input[i] = bytes.take<float>();
    uint32_t state = bytes.take<uint32_t>() | 1u;
    for (std::size_t i = literal; i < given; ++i) {
        state = state * 1664525u + 1013904223u;
        input[i] = static_cast<float>(static_cast<int32_t>(state)) * (1.0f / 2147483648.0f);
    }
    // Now and then one buffer as both input and output, as hosts may hand it.
    const bool inPlace = bytes.take<uint8_t>() % 4 == 0 && frames > 0;
    float* inputs[] = {input.data()};
    float* outputs[] = {inPlace ? input.data() : output.data()};
    if (replacing) {
        effect->processReplacing(effect, inputs, outputs, frames);
    } else {
        effect->process(effect, inputs, outputs, frames);
    }
    if (frames <= 0 && output[0] != 0.25f) {
        std::abort();  // a block of no samples wrote a sample
    }
}

}  // namespace

void run(PluginMainProc entry, const uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    versionAnswer = bytes.take<int8_t>();
    AEffect* effect = entry(callback);
    if (effect == nullptr) {
        if (versionAnswer != 0) std::abort();  // only a version of 0 may refuse
        versionAnswer = 2400;
        effect = entry(callback);
    }
    for (int calls = 0; effect != nullptr && !bytes.empty() && calls < 1000; ++calls) {
        switch (bytes.take<uint8_t>() % 6) {
            case 0:
            case 1: dispatch(effect, entry, bytes); break;
            case 2: effect->setParameter(effect, takeIndex(bytes), bytes.take<float>()); break;
            case 3: static_cast<void>(effect->getParameter(effect, takeIndex(bytes))); break;
            case 4: processBlock(effect, bytes, true); break;
            default: processBlock(effect, bytes, false); break;
        }
    }
    if (effect != nullptr) {
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
}

}  // namespace host_calls
