#include "render/sound_file.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>

#include "kit/tool_error.h"

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

constexpr const char* kWritableExtensions = ".wav, .flac, .ogg, .opus, .mp3, .aiff, .caf, .w64, .rf64, .au or .raw";

/// A container, and the encoding its extension implies (0: none implied).
struct NamedFormat {
    int container;
    int encoding;
};

/// The container whose usual extension is `extension`, or {0, 0}.
NamedFormat formatForExtension(const std::string& extension) {
    // Common names that libsndfile's table lists under another extension, or not at all.
    static const std::pair<const char*, NamedFormat> aliases[] = {
        {"aif", {SF_FORMAT_AIFF, 0}},
        {"ogg", {SF_FORMAT_OGG, 0}},
        {"opus", {SF_FORMAT_OGG, SF_FORMAT_OPUS}},
        {"mp3", {SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III}},
    };
    for (const auto& [name, format] : aliases) {
        if (extension == name) {
            return format;
        }
    }
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int index = 0; index < count; ++index) {
        SF_FORMAT_INFO info{};
        info.format = index;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension != nullptr && extension == info.extension) {
            return {info.format & SF_FORMAT_TYPEMASK, 0};
        }
    }
    return {0, 0};
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
    // libsndfile accepts Opus at any rate here, but its encoder takes only these.
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS && sampleRateHz != 8000 && sampleRateHz != 12000 &&
        sampleRateHz != 16000 && sampleRateHz != 24000 && sampleRateHz != 48000) {
        return false;
    }
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRateHz;
    return sf_format_check(&info) == SF_TRUE;
}

int requestedSubtype(SampleFormat requested) {
    switch (requested) {
        case SampleFormat::float32: return SF_FORMAT_FLOAT;
        case SampleFormat::pcm16: return SF_FORMAT_PCM_16;
        case SampleFormat::pcm24: return SF_FORMAT_PCM_24;
        case SampleFormat::keep: break;
    }
    return 0;
}

/// True for encodings that store samples as they are (PCM, float, companded), which any container
/// that lists them can hold; false for codecs, which are kept only within their own container.
bool isPlainEncoding(int encoding) {
    switch (encoding) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW: return true;
        default: return false;
    }
}

/// Bytes one sample takes in the file; codecs count as 16-bit PCM, which overstates most of them.
int64_t bytesPerSample(int encoding) {
    switch (encoding) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW: return 1;
        case SF_FORMAT_PCM_24: return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT: return 4;
        case SF_FORMAT_DOUBLE: return 8;
        default: return 2;
    }
}

/// True when the container's size fields are 64-bit, or it has none to overflow.
bool holdsAnySize(int container) {
    switch (container) {
        case SF_FORMAT_W64:
        case SF_FORMAT_RF64:
        case SF_FORMAT_CAF:
        case SF_FORMAT_FLAC:
        case SF_FORMAT_OGG:
        case SF_FORMAT_MPEG:
        case SF_FORMAT_RAW: return true;
        default: return false;
    }
}

/// The WAV format as RF64, whose data may pass 4 GiB; 0 when RF64 cannot hold the encoding.
int asRf64(int format) {
    if ((format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV) {
        return 0;
    }
    SF_INFO info{};
    info.format = (format & ~(SF_FORMAT_TYPEMASK | SF_FORMAT_ENDMASK)) | SF_FORMAT_RF64;
    info.channels = 1;
    info.samplerate = 44100;
    return sf_format_check(&info) == SF_TRUE ? info.format : 0;
}

/// True when libsndfile can write `format` to a pipe, tried on a real one: the probe learns the
/// answer from the library itself rather than from a list that could drift from it.
bool writesToPipe(int format, int32_t channels, int32_t sampleRateHz) {
    int ends[2];
    if (::pipe(ends) != 0) {
        return false;
    }
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRateHz;
    // The read end stays open until the writer has closed, so no write can raise SIGPIPE.
    SNDFILE* probe = sf_open_fd(ends[1], SFM_WRITE, &info, SF_FALSE);
    const bool streams = probe != nullptr;
    if (probe != nullptr) {
        sf_close(probe);
    }
    ::close(ends[1]);
    ::close(ends[0]);
    return streams;
}

/// Why an operation on `sndfile` (nullptr: the last open) failed. A full disk, a file-size limit
/// or a broken pipe is named as the system names it, since libsndfile may describe such a failure
/// in its codec's words. Otherwise libsndfile's text, without its "System error : " preamble and
/// final full stop, or `fallback` when libsndfile saw no error (an encoder that refused samples).
std::string failureReason(SNDFILE* sndfile, int systemError, const char* fallback) {
    for (int outputError : {ENOSPC, EFBIG, EDQUOT, EIO, EPIPE, EROFS}) {
        if (systemError == outputError) {
            return std::strerror(systemError);
        }
    }
    if (sf_error(sndfile) == SF_ERR_NO_ERROR) {
        return fallback;
    }
    std::string text = sf_strerror(sndfile);
    for (const char* preamble : {"System error : ", "Error : "}) {
        if (text.rfind(preamble, 0) == 0) {
            text.erase(0, std::strlen(preamble));
        }
    }
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
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
        throw ToolError(quoted(path) + ": cannot read: " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) {
        throw ToolError(quoted(path) + ": cannot read: is a folder");
    }
    file->sndfile = sf_open(path.c_str(), SFM_READ, &file->info);
    if (file->sndfile == nullptr) {
        throw ToolError(quoted(path) + ": cannot read: " + sf_strerror(nullptr));
    }
    if (file->info.channels <= 0 || file->info.samplerate <= 0) {
        throw ToolError(quoted(path) + ": cannot read: no channels or no sample rate");
    }
}

SoundFileReader::~SoundFileReader() = default;

int32_t SoundFileReader::channelCount() const { return file->info.channels; }
int32_t SoundFileReader::sampleRateHz() const { return file->info.samplerate; }
int64_t SoundFileReader::frameCount() const { return file->info.frames; }
int SoundFileReader::format() const { return file->info.format; }

bool SoundFileReader::promisesFrameCount() const {
    // A pipe's length is unknown, and an MP3 header's frame count is only an estimate.
    return file->info.seekable == SF_TRUE && (file->info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG;
}

int64_t SoundFileReader::read(float* interleaved, int64_t frames) {
    errno = 0;
    const sf_count_t got = sf_readf_float(file->sndfile, interleaved, frames);
    const int systemError = errno;
    framesDelivered += got;
    if (got == frames) {
        return got;
    }
    const bool failed = sf_error(file->sndfile) != SF_ERR_NO_ERROR;
    const bool cutShort = promisesFrameCount() && framesDelivered < file->info.frames;
    if (failed || cutShort) {
        const std::string promised =
            promisesFrameCount() ? " of the " + std::to_string(file->info.frames) + " frames its header promises"
                                 : " frames";
        throw ToolError(
            quoted(path) + ": read failed after " + std::to_string(framesDelivered) + promised + ": " +
            (failed ? failureReason(file->sndfile, systemError, "unknown reason") : "the file is cut short"));
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
    errno = 0;
    file->sndfile = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    if (file->sndfile == nullptr) {
        throw ToolError(quoted(displayName) + ": cannot write: " + failureReason(nullptr, errno, "unknown reason"));
    }
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64) {
        // A stream of unknown length that stays below 4 GiB is closed as a plain WAV (extensible).
        sf_command(file->sndfile, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    }
    const int subtype = format & SF_FORMAT_SUBMASK;
    countsClipping = subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE && subtype != SF_FORMAT_VORBIS &&
                     subtype != SF_FORMAT_OPUS;
    // Without clipping, libsndfile wraps a sample beyond full scale round to the opposite sign.
    sf_command(file->sndfile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

SoundFileWriter::~SoundFileWriter() = default;

const float* SoundFileWriter::withFiniteSamples(const float* interleaved, int64_t frames) {
    const float* end = interleaved + frames * channels;
    const float* firstBad = std::find_if(interleaved, end, [](float sample) { return !std::isfinite(sample); });
    if (firstBad == end) {
        return interleaved;
    }
    cleaned.assign(interleaved, end);
    for (float& sample : cleaned) {
        if (!std::isfinite(sample)) {
            sample = 0.0f;
            ++nonFinite;
        }
    }
    return cleaned.data();
}

void SoundFileWriter::write(const float* interleaved, int64_t frames) {
    const float* samples = withFiniteSamples(interleaved, frames);
    if (countsClipping) {
        clipped += std::count_if(samples, samples + frames * channels,
                                 [](float sample) { return sample > 1.0f || sample < -1.0f; });
    }
    errno = 0;
    const sf_count_t written = sf_writef_float(file->sndfile, samples, frames);
    const int systemError = errno;
    if (written != frames) {
        throw ToolError(quoted(displayName) + ": write failed: " +
                        failureReason(file->sndfile, systemError, "the encoder refused the samples"));
    }
    framesWritten += written;
}

void SoundFileWriter::close() {
    SNDFILE* sndfile = file->sndfile;
    file->sndfile = nullptr;
    std::string reason = sf_error(sndfile) != SF_ERR_NO_ERROR ? failureReason(sndfile, 0, "") : "";
    errno = 0;
    const int closeError = sf_close(sndfile);  // flushes the encoder and finishes the header
    const int systemError = errno;
    if (reason.empty() && closeError != SF_ERR_NO_ERROR) {
        reason = failureReason(nullptr, systemError, sf_error_number(closeError));
    }
    if (!reason.empty()) {
        throw ToolError(quoted(displayName) + ": write failed: " + reason);
    }
}

std::string SoundFileWriter::sampleFormatName() const { return formatName(format & SF_FORMAT_SUBMASK); }

int chooseOutputFormat(const std::string& outputPath, int inputFormat, SampleFormat requested, int32_t channels,
                       int32_t sampleRateHz) {
    const int inputContainer = inputFormat & SF_FORMAT_TYPEMASK;
    const std::string extension = extensionOf(outputPath);
    const NamedFormat named = extension.empty() ? NamedFormat{inputContainer, 0} : formatForExtension(extension);
    if (named.container == 0) {
        throw ToolError(quoted(outputPath) + ": no writable container for '." + extension + "'; use " +
                        kWritableExtensions);
    }
    const int container = named.container;
    // The input's byte order is kept only in the input's own container.
    const int endian = container == inputContainer ? inputFormat & SF_FORMAT_ENDMASK : 0;
    const auto holds = [&](int encoding) {
        return isValidFormat(container | encoding | endian, channels, sampleRateHz);
    };
    const auto refuse = [&](int encoding) {
        throw ToolError(quoted(outputPath) + ": " + formatName(container) + " cannot hold " + formatName(encoding) +
                        " samples at " + std::to_string(sampleRateHz) + " Hz");
    };

    if (const int encoding = requestedSubtype(requested)) {
        if (!holds(encoding) || (named.encoding != 0 && encoding != named.encoding)) {
            refuse(encoding);
        }
        return container | encoding | endian;
    }
    if (named.encoding != 0) {
        if (!holds(named.encoding)) {
            refuse(named.encoding);
        }
        return container | named.encoding;
    }
    const int inputEncoding = inputFormat & SF_FORMAT_SUBMASK;
    // A codec (MP3, Vorbis, ADPCM) stays only within its own container; elsewhere the container's
    // natural encoding takes over, as it does for a sample format that the container lacks.
    const bool keepsInputEncoding = isPlainEncoding(inputEncoding) || container == inputContainer;
    for (int encoding : {keepsInputEncoding ? inputEncoding : 0, int{SF_FORMAT_FLOAT}, int{SF_FORMAT_PCM_24},
                         int{SF_FORMAT_PCM_16}, int{SF_FORMAT_VORBIS}, int{SF_FORMAT_MPEG_LAYER_III}}) {
        if (encoding != 0 && holds(encoding)) {
            return container | encoding | endian;
        }
    }
    if (const int encoding = firstSubtypeOf(container, channels, sampleRateHz)) {
        return container | encoding;
    }
    throw ToolError(quoted(outputPath) + ": " + formatName(container) + " cannot hold " + std::to_string(channels) +
                    " channels at " + std::to_string(sampleRateHz) + " Hz");
}

int streamableFormat(const std::string& outputPath, int format, int32_t channels, int32_t sampleRateHz) {
    if (writesToPipe(format, channels, sampleRateHz)) {
        return format;
    }
    const int asAu = SF_FORMAT_AU | (format & SF_FORMAT_SUBMASK);
    if (extensionOf(outputPath).empty()) {
        for (int candidate : {asAu, int{SF_FORMAT_AU | SF_FORMAT_FLOAT}}) {
            if (isValidFormat(candidate, channels, sampleRateHz)) {
                return candidate;
            }
        }
    }
    throw ToolError(quoted(outputPath) + ": " + formatName(format & SF_FORMAT_TYPEMASK) +
                    " cannot be streamed (it must seek back to finish its header); name a pipe or device "
                    "without an extension, or use .au, .flac, .ogg, .mp3 or .raw");
}

int formatForLength(const std::string& outputPath, int format, int32_t channels, int64_t frames) {
    const int container = format & SF_FORMAT_TYPEMASK;
    // A stream of unknown length (a pipe) announces more frames than any file holds.
    constexpr int64_t kUnknownLength = int64_t{1} << 48;
    const bool lengthKnown = frames < kUnknownLength;
    // 32-bit size fields; the margin leaves room for the header and its chunks.
    constexpr int64_t kLimitBytes = (int64_t{1} << 32) - (int64_t{1} << 20);
    const int64_t bytes = lengthKnown ? frames * channels * bytesPerSample(format & SF_FORMAT_SUBMASK) : 0;
    if (holdsAnySize(container) || (lengthKnown && bytes <= kLimitBytes)) {
        return format;
    }
    if (const int rf64 = asRf64(format)) {
        return rf64;
    }
    if (!lengthKnown) {
        return format;  // the frame count check after the render catches an overflow
    }
    throw ToolError(quoted(outputPath) + ": " + formatName(container) + " holds at most 4 GiB of samples and " +
                    "this render needs " + std::to_string(bytes) + " bytes; use .wav, .w64, .caf or .flac");
}

int64_t framesInFile(const std::string& path, int format, int32_t channels, int32_t sampleRateHz) {
    SF_INFO info{};
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RAW) {
        info.format = format;
        info.channels = channels;
        info.samplerate = sampleRateHz;
    }
    SNDFILE* sndfile = sf_open(path.c_str(), SFM_READ, &info);
    if (sndfile == nullptr) {
        return -1;
    }
    sf_close(sndfile);
    return info.frames;
}
