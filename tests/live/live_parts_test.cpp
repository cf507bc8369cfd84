// The live tool's control-thread parts: control lines split from a stream, parameter changes
// handed to the audio thread, the stop signals, the watch on a stuck call and the report budget.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
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
        uint64_t begun;
        uint64_t ended;
        int atMs;
        bool stuck;
    };
    const struct {
        const char* name;
        std::vector<Reading> readings;
    } cases[] = {
        {"IdleIsNeverStuck", {{5, 5, 0, false}, {5, 5, 5000, false}}},
        {"OneCallPastTheLimit", {{6, 5, 0, false}, {6, 5, 999, false}, {6, 5, 1000, true}}},
        {"CallsThatEndInTime", {{6, 5, 0, false}, {7, 6, 900, false}, {8, 7, 1800, false}, {8, 7, 2799, false}}},
        {"ANewCallStartsTheClockAgain", {{6, 5, 0, false}, {6, 6, 600, false}, {7, 6, 900, false}, {7, 6, 1900, true}}},
    };
    const auto start = SessionClock::now();
    for (const auto& c : cases) {
        StuckCallWatch watch;
        for (const Reading& r : c.readings) {
            EXPECT_EQ(watch.stuck({r.begun, r.ended}, start + milliseconds(r.atMs), milliseconds(1000)), r.stuck)
                << c.name << " at " << r.atMs << " ms";
        }
    }
}

TEST(ReportBudget, WithholdsLinesBeyondTheBudgetAndCountsThemOnceTheSecondIsOver) {
    enum Step { allows, takeWithheld };
    struct Event {
        Step step;
        int atMs;
        uint64_t expected;  ///< allows: 1 or 0; takeWithheld: the count
    };
    const struct {
        const char* name;
        std::vector<Event> events;
    } cases[] = {
        {"BudgetThenAFreshSecond",
         {{allows, 0, 1},
          {allows, 10, 1},
          {allows, 20, 0},
          {allows, 900, 0},
          {takeWithheld, 999, 0},
          {takeWithheld, 1000, 2},
          {takeWithheld, 1001, 0},
          {allows, 1001, 1}}},
        {"WithheldLinesAreToldBeforeNewOnes",
         {{allows, 0, 1},
          {allows, 0, 1},
          {allows, 0, 0},
          {allows, 1500, 0},
          {takeWithheld, 1500, 2},
          {allows, 1500, 1}}},
        {"AQuietSecondRestoresTheBudget", {{allows, 0, 1}, {allows, 0, 1}, {allows, 1000, 1}, {allows, 1000, 1}}},
    };
    const auto start = SessionClock::now();
    for (const auto& c : cases) {
        ReportBudget budget(2);
        for (const Event& e : c.events) {
            const auto now = start + milliseconds(e.atMs);
            const uint64_t got = e.step == allows ? uint64_t(budget.allows(now)) : budget.takeWithheld(now);
            EXPECT_EQ(got, e.expected) << c.name << " at " << e.atMs << " ms";
        }
    }
}

TEST(StopSignals, EndTheWaitWhateverElseIsWatchedUnlessInheritedAsIgnored) {
    const struct {
        const char* name;
        int raised;  ///< 0: none
        bool inheritedIgnored;
        bool inputWaiting;  ///< the watched descriptor has bytes to read
        bool readable;
        bool stop;
    } cases[] = {
        {"Sigint", SIGINT, false, false, false, true},
        {"SigtermBesideInput", SIGTERM, false, true, true, true},
        {"IgnoredSigtermStaysIgnored", SIGTERM, true, false, false, false},
        {"InputAlone", 0, false, true, true, false},
    };
    for (const auto& c : cases) {
        int input[2];
        ASSERT_EQ(::pipe(input), 0);
        if (c.inputWaiting) {
            ASSERT_EQ(::write(input[1], "x", 1), 1);
        }
        const auto before = std::signal(SIGTERM, c.inheritedIgnored ? SIG_IGN : SIG_DFL);
        {
            StopSignals signals;
            if (c.raised != 0) {
                ::raise(c.raised);  // blocked now: it waits for the descriptor
            }
            EXPECT_EQ(signals.wait(input[0], milliseconds(100)), c.readable) << c.name;
            EXPECT_EQ(signals.stopRequested(), c.stop) << c.name;
        }
        std::signal(SIGTERM, before);
        ::close(input[0]);
        ::close(input[1]);
    }
}

}  // namespace
