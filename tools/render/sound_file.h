// Audio files in every format libsndfile handles. Formats are libsndfile's format codes (an int:
// container in the high bits, sample format in the low bits); its handle never leaves sound_file.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/audio_stream.h"
#include "render/command_line.h"

/// The demo voice's format when it stands in for an input file: WAV, 32-bit float.
extern const int kDemoVoiceFormat;

class SoundFileReader : public AudioSource {
public:
    /// Opens `path` for reading. Throws ToolError naming the file when it is missing, unreadable,
    /// or in a format libsndfile cannot read.
    explicit SoundFileReader(const std::string& path);
    ~SoundFileReader() override;

    int32_t channelCount() const override;
    int32_t sampleRateHz() const override;
    int64_t frameCount() const override;
    /// Throws ToolError when libsndfile reports an error, or when the file ends before the frame
    /// count its header promises (a file cut short, or truncated while it is read), saying how many
    /// frames arrived of how many.
    int64_t read(float* interleaved, int64_t frames) override;
    int format() const;

private:
    bool promisesFrameCount() const;

    struct Handle;
    std::unique_ptr<Handle> file;
    std::string path;
    int64_t framesDelivered = 0;
};

/// Writes to an already open descriptor (the pending output file); `displayName` is the name
/// errors mention. Counts the samples that an integer sample format clips to -1..1, and writes
/// non-finite samples (NaN, infinity) as 0, counting them too.
class SoundFileWriter : public AudioSink {
public:
    SoundFileWriter(int descriptor, const std::string& displayName, int format, int32_t channels, int32_t sampleRateHz);
    ~SoundFileWriter() override;

    /// Throws ToolError with libsndfile's own reason (or the system's) when the write fails.
    void write(const float* interleaved, int64_t frames) override;
    /// Finishes the file (headers, encoder flush). Throws ToolError if that fails.
    void close();
    int64_t clippedSamples() const { return clipped; }
    int64_t nonFiniteSamples() const { return nonFinite; }
    int64_t frameCount() const { return framesWritten; }
    /// The sample format's name, as libsndfile gives it ("Signed 16 bit PCM").
    std::string sampleFormatName() const;

private:
    /// `interleaved`, or a copy in which every non-finite sample is 0.
    const float* withFiniteSamples(const float* interleaved, int64_t frames);

    struct Handle;
    std::unique_ptr<Handle> file;
    std::string displayName;
    int format;
    int32_t channels;
    bool countsClipping;
    int64_t clipped = 0;
    int64_t nonFinite = 0;
    int64_t framesWritten = 0;
    std::vector<float> cleaned;
};

/// The output's format: the container named by `outputPath`'s extension (.mp3 and .opus name
/// MPEG layer III and Ogg Opus), or the input's when it has none; the requested sample format, else
/// the input's, else the nearest the container holds (float, 24-bit, 16-bit PCM, its codec). A
/// codec (MP3, Vorbis) is kept only within its own container. Throws ToolError when the extension
/// names no writable container, or the container cannot hold the requested sample format.
int chooseOutputFormat(const std::string& outputPath, int inputFormat, SampleFormat requested, int32_t channels,
                       int32_t sampleRateHz);

/// `format` when it can be written front to back (to a pipe or FIFO); else, for an output named
/// without an extension (/dev/stdout), AU with the same encoding. Throws ToolError otherwise.
int streamableFormat(const std::string& outputPath, int format, int32_t channels, int32_t sampleRateHz);

/// `format`, able to hold `frames` frames: a WAV whose data may pass 4 GiB (or whose length is
/// unknown) becomes RF64, which libsndfile closes as plain WAV when it stays small. Throws
/// ToolError, before anything is rendered, when the container's 32-bit sizes (AIFF, AU, ...)
/// cannot hold that much.
int formatForLength(const std::string& outputPath, int format, int32_t channels, int64_t frames);

/// The frame count the header of the file at `path` states, or -1 when it cannot be read.
int64_t framesInFile(const std::string& path, int format, int32_t channels, int32_t sampleRateHz);
