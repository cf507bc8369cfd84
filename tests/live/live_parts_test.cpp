// The live tool's control-thread parts: control lines split from a stream, and parameter changes
// handed to the audio thread.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "live/control_lines.h"
#include "live/parameter_slots.h"

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

}  // namespace
