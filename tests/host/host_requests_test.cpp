// Requests an effect sends to its host: opcode and argument positions, answer conversion,
// and the fixed answers without a host callback.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "host/effect_base.h"
#include "support/recording_host.h"

namespace {

// A concrete effect that notes every parameter change and how many requests the host had
// received at that moment.
class RequestEffect : public EffectBaseEx {
public:
    struct ParameterChange {
        int32_t index;
        float value;
        size_t requestsBefore;
    };

    RequestEffect(audioMasterCallback callback, const RecordingHost& host) : EffectBaseEx(callback, 1, 2), host(host) {}
    void process(float**, float**, int32_t) override {}
    void setParameter(int32_t index, float value) override { changes.push_back({index, value, host.requests.size()}); }

    std::vector<ParameterChange> changes;

private:
    const RecordingHost& host;
};

intptr_t address(const void* pointer) { return reinterpret_cast<intptr_t>(pointer); }

// How a request turns the host's answer into its result.
enum class Conversion {
    none,       // the request returns nothing
    long32,     // the answer cut to a signed 32-bit integer
    version,    // as long32, but 0 becomes 1
    notZero,    // 1 when the answer is not 0, else 0 (bools, and the three exact 1-or-0 longs)
    connected,  // 1 when the answer IS 0: the pin requests
    fullWidth,  // the answer unchanged: pointers and the vendor-specific request
    field,      // the effect's own field; the answer is not used
};

intptr_t converted(Conversion conversion, intptr_t answer, intptr_t withoutHost) {
    const int32_t cut = static_cast<int32_t>(answer);
    switch (conversion) {
        case Conversion::none: return 0;
        case Conversion::long32: return cut;
        case Conversion::version: return cut == 0 ? 1 : cut;
        case Conversion::notZero: return answer != 0 ? 1 : 0;
        case Conversion::connected: return answer == 0 ? 1 : 0;
        case Conversion::fullWidth: return answer;
        case Conversion::field: return withoutHost;
    }
    return 0;
}

// One request: what it sends and how it answers. `send` calls the operation with the
// arguments that the row's index, value, ptr and opt expect, and returns its result as an integer.
struct RequestRow {
    const char* request;
    int32_t opcode;
    int32_t index;
    intptr_t value;
    void* ptr;
    float opt;
    Conversion conversion;
    intptr_t withoutHost;
    std::function<intptr_t(RequestEffect&)> send;
};

using Effect = RequestEffect;

// Every request; `p` and `q` are addresses the requests pass through without reading them.
std::vector<RequestRow> requestTable(void* p, void* q) {
    auto* task = static_cast<VstOfflineTask*>(p);
    auto* files = static_cast<VstAudioFile*>(p);
    auto* window = static_cast<VstWindow*>(p);
    auto* select = static_cast<VstFileSelect*>(p);
    auto* text = static_cast<char*>(p);
    using C = Conversion;
    return {
        {"setParameterAutomated(1, 0.25)", 0, 1, 0, nullptr, 0.25f, C::none, 0,
         [](Effect& e) {
             e.setParameterAutomated(1, 0.25f);
             return intptr_t{0};
         }},
        {"hostVersion()", 1, 0, 0, nullptr, 0.0f, C::version, 1, [](Effect& e) { return e.hostVersion(); }},
        {"currentId()", 2, 0, 0, nullptr, 0.0f, C::long32, 0, [](Effect& e) { return e.currentId(); }},
        {"hostIdle()", 3, 0, 0, nullptr, 0.0f, C::none, 0,
         [](Effect& e) {
             e.hostIdle();
             return intptr_t{0};
         }},
        {"inputPinConnected(3)", 4, 3, 0, nullptr, 0.0f, C::connected, 1,
         [](Effect& e) { return e.inputPinConnected(3); }},
        {"outputPinConnected(3)", 4, 3, 1, nullptr, 0.0f, C::connected, 1,
         [](Effect& e) { return e.outputPinConnected(3); }},
        {"wantMidi(5)", 6, 0, 5, nullptr, 0.0f, C::none, 0,
         [](Effect& e) {
             e.wantMidi(5);
             return intptr_t{0};
         }},
        {"getTime(0x4200)", 7, 0, 0x4200, nullptr, 0.0f, C::fullWidth, 0,
         [](Effect& e) { return address(e.getTime(0x4200)); }},
        {"tempoAt(48000)", 10, 0, 48000, nullptr, 0.0f, C::long32, 0, [](Effect& e) { return e.tempoAt(48000); }},
        {"getNumAutomatableParameters()", 11, 0, 0, nullptr, 0.0f, C::long32, 0,
         [](Effect& e) { return e.getNumAutomatableParameters(); }},
        {"getParameterQuantization()", 12, 0, 0, nullptr, 0.0f, C::long32, 0,
         [](Effect& e) { return e.getParameterQuantization(); }},
        {"ioChanged()", 13, 0, 0, nullptr, 0.0f, C::notZero, 0, [](Effect& e) { return e.ioChanged(); }},
        {"needIdle()", 14, 0, 0, nullptr, 0.0f, C::notZero, 0, [](Effect& e) { return e.needIdle(); }},
        {"sizeWindow(640, 480)", 15, 640, 480, nullptr, 0.0f, C::notZero, 0,
         [](Effect& e) { return e.sizeWindow(640, 480); }},
        {"hostGetSampleRate()", 16, 0, 0, nullptr, 0.0f, C::field, 44100,
         [](Effect& e) { return static_cast<intptr_t>(e.hostGetSampleRate()); }},
        {"hostGetBlockSize()", 17, 0, 0, nullptr, 0.0f, C::field, 1024, [](Effect& e) { return e.hostGetBlockSize(); }},
        {"getInputLatency()", 18, 0, 0, nullptr, 0.0f, C::long32, 0, [](Effect& e) { return e.getInputLatency(); }},
        {"getOutputLatency()", 19, 0, 0, nullptr, 0.0f, C::long32, 0, [](Effect& e) { return e.getOutputLatency(); }},
        // The pin does not reach the host.
        {"getPreviousPlug(2)", 20, 0, 0, nullptr, 0.0f, C::fullWidth, 0,
         [](Effect& e) { return address(e.getPreviousPlug(2)); }},
        {"getNextPlug(2)", 21, 0, 0, nullptr, 0.0f, C::fullWidth, 0,
         [](Effect& e) { return address(e.getNextPlug(2)); }},
        {"willReplaceOrAccumulate()", 22, 0, 0, nullptr, 0.0f, C::long32, 0,
         [](Effect& e) { return e.willReplaceOrAccumulate(); }},
        {"getCurrentProcessLevel()", 23, 0, 0, nullptr, 0.0f, C::long32, 0,
         [](Effect& e) { return e.getCurrentProcessLevel(); }},
        {"getAutomationState()", 24, 0, 0, nullptr, 0.0f, C::long32, 0,
         [](Effect& e) { return e.getAutomationState(); }},
        {"offlineStart(files, 3, 2)", 25, 2, 3, p, 0.0f, C::notZero, 0,
         [=](Effect& e) { return e.offlineStart(files, 3, 2); }},
        {"offlineRead(task, 7, true)", 26, 1, 7, p, 0.0f, C::notZero, 0,
         [=](Effect& e) { return e.offlineRead(task, 7, true); }},
        {"offlineRead(task, 7, false)", 26, 0, 7, p, 0.0f, C::notZero, 0,
         [=](Effect& e) { return e.offlineRead(task, 7, false); }},
        {"offlineWrite(task, 9)", 27, 0, 9, p, 0.0f, C::notZero, 0, [=](Effect& e) { return e.offlineWrite(task, 9); }},
        {"offlineGetCurrentPass()", 28, 0, 0, nullptr, 0.0f, C::notZero, 0,
         [](Effect& e) { return e.offlineGetCurrentPass(); }},
        {"offlineGetCurrentMetaPass()", 29, 0, 0, nullptr, 0.0f, C::notZero, 0,
         [](Effect& e) { return e.offlineGetCurrentMetaPass(); }},
        {"setOutputSampleRate(48000)", 30, 0, 0, nullptr, 48000.0f, C::none, 0,
         [](Effect& e) {
             e.setOutputSampleRate(48000.0f);
             return intptr_t{0};
         }},
        {"getSpeakerArrangement(input, output)", 31, 0, address(p), q, 0.0f, C::notZero, 0,
         [=](Effect& e) { return e.getSpeakerArrangement(p, q); }},
        {"hostGetVendorString(text)", 32, 0, 0, p, 0.0f, C::notZero, 0,
         [=](Effect& e) { return e.hostGetVendorString(text); }},
        {"hostGetProductString(text)", 33, 0, 0, p, 0.0f, C::notZero, 0,
         [=](Effect& e) { return e.hostGetProductString(text); }},
        {"hostGetVendorVersion()", 34, 0, 0, nullptr, 0.0f, C::long32, 0,
         [](Effect& e) { return e.hostGetVendorVersion(); }},
        {"hostVendorSpecific(6, p, q, 0.5)", 35, 6, address(p), q, 0.5f, C::fullWidth, 0,
         [=](Effect& e) { return e.hostVendorSpecific(6, address(p), q, 0.5f); }},
        {"hostCanDo(text)", 37, 0, 0, p, 0.0f, C::notZero, 0, [=](Effect& e) { return e.hostCanDo(text); }},
        {"getLanguage()", 38, 0, 0, nullptr, 0.0f, C::long32, 0, [](Effect& e) { return e.getLanguage(); }},
        {"openWindow(window)", 39, 0, 0, p, 0.0f, C::fullWidth, 0,
         [=](Effect& e) { return address(e.openWindow(window)); }},
        {"closeWindow(window)", 40, 0, 0, p, 0.0f, C::notZero, 0, [=](Effect& e) { return e.closeWindow(window); }},
        {"getDirectory()", 41, 0, 0, nullptr, 0.0f, C::fullWidth, 0,
         [](Effect& e) { return address(e.getDirectory()); }},
        {"updateDisplay()", 42, 0, 0, nullptr, 0.0f, C::notZero, 0, [](Effect& e) { return e.updateDisplay(); }},
        {"beginEdit(1)", 43, 1, 0, nullptr, 0.0f, C::notZero, 0, [](Effect& e) { return e.beginEdit(1); }},
        {"endEdit(1)", 44, 1, 0, nullptr, 0.0f, C::notZero, 0, [](Effect& e) { return e.endEdit(1); }},
        {"openFileSelector(select)", 45, 0, 0, p, 0.0f, C::notZero, 0,
         [=](Effect& e) { return e.openFileSelector(select); }},
    };
}

// Pairs of addresses for the pointer arguments: low ones, and on 64-bit builds ones above 4 GiB,
// which a request that narrowed a pointer to 32 bits would lose.
std::vector<std::pair<void*, void*>> argumentAddresses() {
    std::vector<std::pair<void*, void*>> pairs = {{reinterpret_cast<void*>(0x1230), reinterpret_cast<void*>(0x4560)}};
#if INTPTR_MAX == INT64_MAX
    pairs.push_back({reinterpret_cast<void*>(0x712345670), reinterpret_cast<void*>(0x7abcdef80)});
#endif
    return pairs;
}

// What the host answers; on 64-bit builds also an address above 4 GiB, which the pointer
// answers must keep whole and the 32-bit answers cut to their low half.
std::vector<intptr_t> hostAnswers() {
    std::vector<intptr_t> answers = {0, 1, -1, 2100, 0x7fffffff, INT32_MIN};
#if INTPTR_MAX == INT64_MAX
    answers.push_back(0x712345678);
#endif
    return answers;
}

TEST(HostRequests, EachRequestSendsItsArgumentsInTheirPositionsAndConvertsTheAnswer) {
    for (const auto& [p, q] : argumentAddresses()) {
        for (const RequestRow& row : requestTable(p, q)) {
            for (intptr_t answer : hostAnswers()) {
                SCOPED_TRACE(::testing::Message()
                             << row.request << ", pointers " << p << " " << q << ", host answers " << answer);
                RecordingHost host;
                host.answer = [answer](const HostRequest&) { return answer; };
                RequestEffect effect(RecordingHost::callback, host);

                const intptr_t result = row.send(effect);

                ASSERT_EQ(host.requests.size(), 1u);
                const HostRequest& sent = host.requests.front();
                EXPECT_EQ(sent.effect, effect.record());
                EXPECT_EQ(sent.opcode, row.opcode);
                EXPECT_EQ(sent.index, row.index);
                EXPECT_EQ(sent.value, row.value);
                EXPECT_EQ(sent.ptr, row.ptr);
                EXPECT_EQ(sent.opt, row.opt);
                EXPECT_EQ(result, converted(row.conversion, answer, row.withoutHost));
            }
        }
    }
}

TEST(HostRequests, WithoutAHostCallbackEachRequestGivesItsFixedAnswerAndSendsNothing) {
    for (const auto& [p, q] : argumentAddresses()) {
        for (const RequestRow& row : requestTable(p, q)) {
            RecordingHost host;  // current on this thread, but never handed to the effect
            RequestEffect effect(nullptr, host);
            EXPECT_EQ(row.send(effect), row.withoutHost) << row.request;
            EXPECT_TRUE(host.requests.empty()) << row.request;
        }
    }
}

TEST(HostRequests, SetParameterAutomatedSetsTheParameterBeforeTheHostHearsOfIt) {
    for (audioMasterCallback callback : {audioMasterCallback{RecordingHost::callback}, audioMasterCallback{}}) {
        SCOPED_TRACE(callback != nullptr ? "with a host callback" : "without a host callback");
        RecordingHost host;
        RequestEffect effect(callback, host);

        effect.setParameterAutomated(1, 0.25f);

        ASSERT_EQ(effect.changes.size(), 1u);
        EXPECT_EQ(effect.changes[0].index, 1);
        EXPECT_EQ(effect.changes[0].value, 0.25f);
        EXPECT_EQ(effect.changes[0].requestsBefore, 0u);
        EXPECT_EQ(host.requests.size(), callback != nullptr ? 1u : 0u);
    }
}

// A host that changes the rate or the block size through the effect's dispatcher while it answers
// the request: the request returns the new value, not the host's answer nor the value before the call.
struct ReentryRow {
    const char* request;
    int32_t requestOpcode;
    int32_t dispatcherOpcode;
    intptr_t value;
    float opt;
    intptr_t hostAnswer;
    intptr_t expected;
    std::function<intptr_t(RequestEffect&)> send;
};

TEST(HostRequests, RateAndBlockSizeRequestsReturnWhatTheHostSetDuringTheCall) {
    const ReentryRow rows[] = {
        {"hostGetSampleRate()", 16, effSetSampleRate, 0, 96000.0f, 22050, 96000,
         [](RequestEffect& e) { return static_cast<intptr_t>(e.hostGetSampleRate()); }},
        {"hostGetBlockSize()", 17, effSetBlockSize, 512, 0.0f, 64, 512,
         [](RequestEffect& e) { return intptr_t{e.hostGetBlockSize()}; }},
        {"hostGetSampleRate() set with the block size", 16, effSetBlockSizeAndSampleRate, 64, 48000.0f, 22050, 48000,
         [](RequestEffect& e) { return static_cast<intptr_t>(e.hostGetSampleRate()); }},
        {"hostGetBlockSize() set with the sample rate", 17, effSetBlockSizeAndSampleRate, 64, 48000.0f, 512, 64,
         [](RequestEffect& e) { return intptr_t{e.hostGetBlockSize()}; }},
    };
    for (const ReentryRow& row : rows) {
        RecordingHost host;
        host.answer = [&row](const HostRequest& request) {
            if (request.opcode == row.requestOpcode) {
                request.effect->dispatcher(request.effect, row.dispatcherOpcode, 0, row.value, nullptr, row.opt);
            }
            return row.hostAnswer;
        };
        RequestEffect effect(RecordingHost::callback, host);
        EXPECT_EQ(row.send(effect), row.expected) << row.request;
        EXPECT_EQ(host.requests.size(), 1u) << row.request;
    }
}

TEST(HostRequests, OpenFileSelectorWithoutASelectionAsksNothing) {
    RecordingHost host;
    host.answer = [](const HostRequest&) { return intptr_t{1}; };
    RequestEffect effect(RecordingHost::callback, host);
    EXPECT_FALSE(effect.openFileSelector(nullptr));
    EXPECT_TRUE(host.requests.empty());
}

}  // namespace
