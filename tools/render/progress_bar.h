// A one-line progress bar on stderr, for renders long enough that a user waits for them.
#pragma once

#include <cstdint>

class ProgressBar {
public:
    /// Shown only when stderr is a terminal and the source lasts longer than a few seconds.
    ProgressBar(int64_t totalFrames, int32_t sampleRateHz);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    /// Redraws when the shown percentage changes.
    void update(int64_t framesDone, int64_t totalFrames);

private:
    bool visible;
    int shownPercent = -1;
};
