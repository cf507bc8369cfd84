// The live tool's control-thread parts: control lines split from a stream, and parameter changes
// handed to the audio thread. And the session's: stop signals, stuck-call watch, report budget.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "live/control_lines.h"
#include "live/parameter_slots.h"
#include "live/session_parts.h"

namespace {

struct SeenLine {
    std::string text;
    uint64_t number;
    bool tooLong;
    bool operator==(const SeenLine& other) const {
        return text == other.text && number == other.number && tooLong == other.tooLong;
    }
};

void PrintTo(const SeenLine& line, std::ostream* out) {
    *out << "line " << line.number << (line.tooLong ? " (too long, " : " (") << line.text.size()
         << " bytes): " << line.text.substr(0, 20);
}

constexpr size_t kMax = ControlLineReader::kMaxLineBytes;

TEST(ControlLineReader, SplitsLinesAcrossReadsAndPassesAnOverlongLineOnceCut) {
    const struct {
        const char* name;
        std::vector<std::string> reads;
        bool endsAfter;
        std::vector<SeenLine> expected;
    } cases[] = {
        {"OneReadManyLines", {"gain=1\ndepth=0\n"}, false, {{"gain=1", 1, false}, {"depth=0", 2, false}}},
        {"LineInPieces", {"ga", "in=", "1\nx"}, false, {{"gain=1", 1, false}}},
        {"LastLineWithoutEnd", {"a\nb"}, true, {{"a", 1, false}, {"b", 2, false}}},
        {"EmptyLinesCount", {"\n\nc\n"}, false, {{"", 1, false}, {"", 2, false}, {"c", 3, false}}},
        {"LongestLineIsWhole", {std::string(kMax, 'a') + "\n"}, false, {{std::string(kMax, 'a'), 1, false}}},
        {"OneByteMoreIsCut",
         {std::string(kMax, 'a'), "b", "cd\nnext\n"},
         false,
         {{std::string(kMax, 'a'), 1, true}, {"next", 2, false}}},
        {"EndlessLineIsPassedOnce",
         {"x" + std::string(kMax, 'y'), std::string(1 << 20, 'z'), std::string(1 << 20, 'z')},
         true,
         {{"x" + std::string(kMax - 1, 'y'), 1, true}}},
    };
    for (const auto& c : cases) {
        ControlLineReader reader(-1);
        std::vector<SeenLine> seen;
        for (size_t i = 0; i < c.reads.size(); ++i) {
            reader.feed(c.reads[i], c.endsAfter && i + 1 == c.reads.size(), [&](const ControlLineReader::Line& line) {
                seen.push_back({std::string(line.text), line.number, line.tooLong});
            });
        }
        EXPECT_EQ(seen, c.expected) << c.name;
    }
}

TEST(ParameterSlots, TheLatestValueOfEachParameterArrivesWhateverCameBefore) {
    ParameterSlots slots(2);
    for (int i = 0; i < 600; ++i) {
        ASSERT_TRUE(slots.put({0, 1.0f}));
    }
    ASSERT_TRUE(slots.put({0, 0.0f}));
    ASSERT_TRUE(slots.put({1, 0.25f}));
    EXPECT_FALSE(slots.put({2, 0.5f}));
    EXPECT_FALSE(slots.put({-1, 0.5f}));
    EXPECT_EQ(slots.takeReplacedCount(), 600u);
    EXPECT_EQ(slots.takeReplacedCount(), 0u);

    std::vector<std::pair<int32_t, float>> taken;
    const auto take = [&](int32_t index, float value) { taken.emplace_back(index, value); };
    slots.takeAll(take);
    EXPECT_EQ(taken, (std::vector<std::pair<int32_t, float>>{{0, 0.0f}, {1, 0.25f}}));
    taken.clear();
    slots.takeAll(take);
    EXPECT_TRUE(taken.empty()) << "a value is taken once";
}

using std::chrono::milliseconds;

TEST(StuckCallWatch, TellsACallThatHasNotReturnedForTheLimitFromCallsThatKeepEnding) {
    struct Reading {
        uint64_t begun, ended;  ///< the processor's call counts
        int atMs;
        bool stuck;
    };
    const std::pair<const char*, std::vector<Reading>> cases[] = {
        {"IdleIsNeverStuck", {{5, 5, 0, false}, {5, 5, 5000, false}}},
        {"OneCallPastTheLimit", {{6, 5, 0, false}, {6, 5, 999, false}, {6, 5, 1000, true}}},
        {"CallsThatEndInTime", {{6, 5, 0, false}, {7, 6, 900, false}, {8, 7, 1800, false}, {8, 7, 2799, false}}},
        {"ANewCallStartsTheClockAgain", {{6, 5, 0, false}, {6, 6, 600, false}, {7, 6, 900, false}, {7, 6, 1900, true}}},
    };
    const auto start = SessionClock::now();
    for (const auto& [name, readings] : cases) {
        StuckCallWatch watch;
        for (const Reading& r : readings) {
            EXPECT_EQ(watch.stuck({r.begun, r.ended}, start + milliseconds(r.atMs), milliseconds(1000)), r.stuck)
                << name << " at " << r.atMs << " ms";
        }
    }
}

TEST(ReportBudget, WithholdsLinesBeyondTheBudgetAndCountsThemOnceTheSecondIsOver) {
    // Each step: the time in ms, then a: allows (1 or 0), or t: takeWithheld (the count it gives).
    const std::pair<const char*, const char*> cases[] = {
        {"BudgetThenAFreshSecond", "0 a1  10 a1  20 a0  900 a0  999 t0  1000 t2  1001 t0  1001 a1"},
        {"WithheldLinesAreToldBeforeNewOnes", "0 a1  0 a1  0 a0  1500 a0  1500 t2  1500 a1"},
        {"AQuietSecondRestoresTheBudget", "0 a1  0 a1  1000 a1  1000 a1"},
    };
    const auto start = SessionClock::now();
    for (const auto& [name, steps] : cases) {
        ReportBudget budget(2);
        std::istringstream script(steps);
        int atMs = 0;
        char step = 0;
        uint64_t expected = 0;
        while (script >> atMs >> step >> expected) {
            const auto now = start + milliseconds(atMs);
            EXPECT_EQ(step == 'a' ? uint64_t(budget.allows(now)) : budget.takeWithheld(now), expected)
                << name << " at " << atMs << " ms";
        }
    }
}

TEST(StopSignals, EndTheWaitWhateverElseIsWatchedUnlessInheritedAsIgnored) {
    const struct {
        const char* name;
        int raised;  ///< 0: none
        bool inheritedIgnored;
        bool inputWaiting;  ///< the watched descriptor has bytes to read, and the wait says so
        bool stop;
    } cases[] = {
        {"Sigint", SIGINT, false, false, true},
        {"SigtermBesideInput", SIGTERM, false, true, true},
        {"IgnoredSigtermStaysIgnored", SIGTERM, true, false, false},
        {"InputAlone", 0, false, true, false},
    };
    for (const auto& c : cases) {
        int input[2];
        ASSERT_EQ(::pipe(input), 0);
        ASSERT_EQ(::write(input[1], "x", c.inputWaiting), ssize_t(c.inputWaiting));
        const auto before = std::signal(SIGTERM, c.inheritedIgnored ? SIG_IGN : SIG_DFL);
        {
            StopSignals signals;
            ::raise(c.raised);  // blocked now: it waits for the descriptor (0 raises none)
            EXPECT_EQ(signals.wait(input[0], milliseconds(100)), c.inputWaiting) << c.name;
            EXPECT_EQ(signals.stopRequested(), c.stop) << c.name;
        }
        std::signal(SIGTERM, before);
        ::close(input[0]);
        ::close(input[1]);
    }
}

}  // namespace
