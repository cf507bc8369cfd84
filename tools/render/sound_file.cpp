#include "sound_file.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "tool_error.h"

const int kDemoVoiceFormat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

/// Owns one libsndfile handle; the open result is checked by whoever creates it.
struct SoundFileReader::Handle {
    SNDFILE* sndfile = nullptr;
    SF_INFO info{};
    ~Handle() {
        if (sndfile != nullptr) {
            sf_close(sndfile);
        }
    }
};

struct SoundFileWriter::Handle {
    SNDFILE* sndfile = nullptr;
    ~Handle() {
        if (sndfile != nullptr) {
            sf_close(sndfile);
        }
    }
};

namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string extensionOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    return lowercase(path.substr(dot + 1));
}

/// The container whose usual extension is `extension`, or 0.
int containerForExtension(const std::string& extension) {
    if (extension.empty()) {
        return 0;
    }
    // Common names that libsndfile's table lists under another extension.
    if (extension == "aif") {
        return SF_FORMAT_AIFF;
    }
    if (extension == "ogg") {
        return SF_FORMAT_OGG;
    }
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int index = 0; index < count; ++index) {
        SF_FORMAT_INFO info{};
        info.format = index;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension != nullptr && extension == info.extension) {
            return info.format & SF_FORMAT_TYPEMASK;
        }
    }
    return 0;
}

std::string formatName(int code) {
    SF_FORMAT_INFO info{};
    info.format = code;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) {
        return "format " + std::to_string(code);
    }
    return info.name;
}

bool isValidFormat(int format, int32_t channels, int32_t sampleRateHz) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRateHz;
    return sf_format_check(&info) == SF_TRUE;
}

int requestedSubtype(SampleFormat requested) {
    switch (requested) {
    case SampleFormat::float32:
        return SF_FORMAT_FLOAT;
    case SampleFormat::pcm16:
        return SF_FORMAT_PCM_16;
    case SampleFormat::pcm24:
        return SF_FORMAT_PCM_24;
    case SampleFormat::keep:
        break;
    }
    return 0;
}

/// The container's first sample format that fits the stream, or 0.
int firstSubtypeOf(int container, int32_t channels, int32_t sampleRateHz) {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE_COUNT, &count, sizeof count);
    for (int index = 0; index < count; ++index) {
        SF_FORMAT_INFO info{};
        info.format = index;
        sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE, &info, sizeof info);
        if (isValidFormat(container | info.format, channels, sampleRateHz)) {
            return info.format & SF_FORMAT_SUBMASK;
        }
    }
    return 0;
}

}  // namespace

SoundFileReader::SoundFileReader(const std::string& path) : file(std::make_unique<Handle>()), path(path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        throw ToolError(path + ": cannot read: " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) {
        throw ToolError(path + ": cannot read: is a folder");
    }
    file->sndfile = sf_open(path.c_str(), SFM_READ, &file->info);
    if (file->sndfile == nullptr) {
        throw ToolError(path + ": cannot read: " + sf_strerror(nullptr));
    }
    if (file->info.channels <= 0 || file->info.samplerate <= 0) {
        throw ToolError(path + ": cannot read: no channels or no sample rate");
    }
}

SoundFileReader::~SoundFileReader() = default;

int32_t SoundFileReader::channelCount() const { return file->info.channels; }
int32_t SoundFileReader::sampleRateHz() const { return file->info.samplerate; }
int64_t SoundFileReader::frameCount() const { return file->info.frames; }
int SoundFileReader::format() const { return file->info.format; }

int64_t SoundFileReader::read(float* interleaved, int64_t frames) {
    const sf_count_t got = sf_readf_float(file->sndfile, interleaved, frames);
    if (got < frames && sf_error(file->sndfile) != SF_ERR_NO_ERROR) {
        throw ToolError(path + ": read failed: " + sf_strerror(file->sndfile));
    }
    return got;
}

SoundFileWriter::SoundFileWriter(int descriptor, const std::string& displayName, int format, int32_t channels,
                                 int32_t sampleRateHz)
    : file(std::make_unique<Handle>()), displayName(displayName), format(format), channels(channels) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRateHz;
    file->sndfile = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    if (file->sndfile == nullptr) {
        throw ToolError(displayName + ": cannot write: " + sf_strerror(nullptr));
    }
    const int subtype = format & SF_FORMAT_SUBMASK;
    countsClipping = subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE &&
                     subtype != SF_FORMAT_VORBIS && subtype != SF_FORMAT_OPUS;
    // Without clipping, libsndfile wraps a sample beyond full scale round to the opposite sign.
    sf_command(file->sndfile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

SoundFileWriter::~SoundFileWriter() = default;

void SoundFileWriter::write(const float* interleaved, int64_t frames) {
    if (countsClipping) {
        clipped += std::count_if(interleaved, interleaved + frames * channels,
                                 [](float sample) { return sample > 1.0f || sample < -1.0f; });
    }
    const sf_count_t written = sf_writef_float(file->sndfile, interleaved, frames);
    if (written != frames) {
        throw ToolError(displayName + ": write failed: " + sf_strerror(file->sndfile));
    }
}

void SoundFileWriter::close() {
    SNDFILE* sndfile = file->sndfile;
    file->sndfile = nullptr;
    sf_write_sync(sndfile);
    const int error = sf_error(sndfile);
    if (sf_close(sndfile) != 0 || error != SF_ERR_NO_ERROR) {
        throw ToolError(displayName + ": write failed: " + sf_error_number(error));
    }
}

std::string SoundFileWriter::sampleFormatName() const { return formatName(format & SF_FORMAT_SUBMASK); }

int chooseOutputFormat(const std::string& outputPath, int inputFormat, SampleFormat requested,
                       int32_t channels, int32_t sampleRateHz) {
    const int inputContainer = inputFormat & SF_FORMAT_TYPEMASK;
    const int namedContainer = containerForExtension(extensionOf(outputPath));
    const int container = namedContainer != 0 ? namedContainer : inputContainer;
    // The input's byte order is kept only in the input's own container.
    const int endian = container == inputContainer ? inputFormat & SF_FORMAT_ENDMASK : 0;

    if (const int subtype = requestedSubtype(requested)) {
        if (!isValidFormat(container | subtype | endian, channels, sampleRateHz)) {
            throw ToolError(outputPath + ": " + formatName(container) + " cannot hold " + formatName(subtype) +
                            " samples");
        }
        return container | subtype | endian;
    }
    for (int subtype : {inputFormat & SF_FORMAT_SUBMASK, int{SF_FORMAT_FLOAT}, int{SF_FORMAT_PCM_24},
                        int{SF_FORMAT_PCM_16}}) {
        if (isValidFormat(container | subtype | endian, channels, sampleRateHz)) {
            return container | subtype | endian;
        }
    }
    if (const int subtype = firstSubtypeOf(container, channels, sampleRateHz)) {
        return container | subtype;
    }
    throw ToolError(outputPath + ": " + formatName(container) + " cannot hold " + std::to_string(channels) +
                    " channels at " + std::to_string(sampleRateHz) + " Hz");
}
