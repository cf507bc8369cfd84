#include "render/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {
constexpr double kShortestShownSeconds = 5.0;
constexpr int kBarWidth = 40;
}  // namespace

ProgressBar::ProgressBar(int64_t totalFrames, int32_t sampleRateHz)
    : visible(::isatty(STDERR_FILENO) == 1 && sampleRateHz > 0 &&
              static_cast<double>(totalFrames) / sampleRateHz > kShortestShownSeconds) {}

ProgressBar::~ProgressBar() {
    if (visible && shownPercent >= 0) {
        // Clear the line so that whatever is printed next starts clean.
        std::fprintf(stderr, "\r%*s\r", kBarWidth + 8, "");
    }
}

void ProgressBar::update(int64_t framesDone, int64_t totalFrames) {
    if (!visible || totalFrames <= 0) {
        return;
    }
    const int percent = static_cast<int>(std::clamp<int64_t>(framesDone * 100 / totalFrames, 0, 100));
    if (percent == shownPercent) {
        return;
    }
    shownPercent = percent;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kBarWidth - filled), '-').c_str(), percent);
    std::fflush(stderr);
}
