// Audio files in every format libsndfile handles. Formats are libsndfile's format codes (an int:
// container in the high bits, sample format in the low bits); its handle never leaves sound_file.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio_stream.h"
#include "command_line.h"

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
    int64_t read(float* interleaved, int64_t frames) override;
    int format() const;

private:
    struct Handle;
    std::unique_ptr<Handle> file;
    std::string path;
};

/// Writes to an already open descriptor (the pending output file); `displayName` is the name
/// errors mention. Counts the samples that an integer sample format clips to -1..1.
class SoundFileWriter : public AudioSink {
public:
    SoundFileWriter(int descriptor, const std::string& displayName, int format, int32_t channels,
                    int32_t sampleRateHz);
    ~SoundFileWriter() override;

    void write(const float* interleaved, int64_t frames) override;
    /// Finishes the file (headers, encoder flush). Throws ToolError if that fails.
    void close();
    int64_t clippedSamples() const { return clipped; }
    /// The sample format's name, as libsndfile gives it ("Signed 16 bit PCM").
    std::string sampleFormatName() const;

private:
    struct Handle;
    std::unique_ptr<Handle> file;
    std::string displayName;
    int format;
    int32_t channels;
    bool countsClipping;
    int64_t clipped = 0;
};

/// The output's format: the container named by `outputPath`'s extension when libsndfile knows it,
/// else the input's; the requested sample format, else the input's, else the nearest the container
/// holds (float, 24-bit, 16-bit PCM, then the container's first). Throws ToolError when the
/// container cannot hold the requested sample format.
int chooseOutputFormat(const std::string& outputPath, int inputFormat, SampleFormat requested,
                       int32_t channels, int32_t sampleRateHz);
