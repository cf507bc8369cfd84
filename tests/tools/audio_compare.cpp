// audio_compare: compares the first channel of two sound files sample for sample, reading the
// samples as libsndfile gives them (a float file's bits unchanged), for the checks that judge a
// host's render against the project's own. sox is no judge there: it mixes through 32-bit integers.
//
// Usage: audio_compare [--lag N | --find-lag MAX] [--tolerance-db DB] [--same-length] A B
//   Compares A[n + lag] with B[n] over the frames both have. --find-lag picks the lag in
//   [-MAX, MAX] with the least mean squared difference. Prints one line:
//     frames A B; lag L; identical
//     frames A B; lag L; first difference at F; peak difference D dBFS at P
//   Exit status: 0 when the samples are identical (or, with --tolerance-db, when the peak
//   difference is at most DB dBFS) and, with --same-length, the lengths agree; 1 when not;
//   2 when a file cannot be read or the arguments are wrong.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Options {
    long lag = 0;
    long findLagWithin = -1;
    std::optional<double> toleranceDb;
    bool sameLength = false;
    std::string first;
    std::string second;
};

[[noreturn]] void usage(const std::string& problem) {
    std::fprintf(stderr,
                 "audio_compare: %s\nusage: audio_compare [--lag N | --find-lag MAX] [--tolerance-db DB] "
                 "[--same-length] A B\n",
                 problem.c_str());
    std::exit(2);
}

double number(const char* text, const char* option) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value)) {
        usage(std::string(option) + ": '" + text + "' is not a number");
    }
    return value;
}

Options parse(int argc, char** argv) {
    Options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--lag" && hasValue) {
            options.lag = static_cast<long>(number(argv[++i], "--lag"));
        } else if (argument == "--find-lag" && hasValue) {
            options.findLagWithin = static_cast<long>(number(argv[++i], "--find-lag"));
        } else if (argument == "--tolerance-db" && hasValue) {
            options.toleranceDb = number(argv[++i], "--tolerance-db");
        } else if (argument == "--same-length") {
            options.sameLength = true;
        } else if (!argument.empty() && argument[0] == '-') {
            usage(argument + ": unknown option, or its value is missing");
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 2) {
        usage("two files are compared");
    }
    options.first = files[0];
    options.second = files[1];
    return options;
}

/// The first channel of `path`, or exit 2 with libsndfile's reason.
std::vector<float> firstChannel(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "audio_compare: '%s': %s\n", path.c_str(), sf_strerror(nullptr));
        std::exit(2);
    }
    std::vector<float> frames(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    const sf_count_t got = sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    if (got != info.frames) {
        std::fprintf(stderr, "audio_compare: '%s': read %lld of %lld frames\n", path.c_str(),
                     static_cast<long long>(got), static_cast<long long>(info.frames));
        std::exit(2);
    }
    std::vector<float> channel(static_cast<size_t>(info.frames));
    for (size_t n = 0; n < channel.size(); ++n) channel[n] = frames[n * static_cast<size_t>(info.channels)];
    return channel;
}

/// The frames n of b for which a[n + lag] exists.
struct Overlap {
    long begin;
    long end;
};

Overlap overlapAt(const std::vector<float>& a, const std::vector<float>& b, long lag) {
    const long begin = lag < 0 ? -lag : 0;
    const long end = std::min(static_cast<long>(b.size()), static_cast<long>(a.size()) - lag);
    return {begin, std::max(begin, end)};
}

bool sameBits(float x, float y) {
    uint32_t xBits;
    uint32_t yBits;
    std::memcpy(&xBits, &x, sizeof xBits);
    std::memcpy(&yBits, &y, sizeof yBits);
    return xBits == yBits;
}

long leastSquaresLag(const std::vector<float>& a, const std::vector<float>& b, long within) {
    long best = 0;
    double bestMean = INFINITY;
    for (long lag = -within; lag <= within; ++lag) {
        const Overlap overlap = overlapAt(a, b, lag);
        if (overlap.end == overlap.begin) continue;
        double sum = 0.0;
        for (long n = overlap.begin; n < overlap.end; ++n) {
            const double d = static_cast<double>(a[static_cast<size_t>(n + lag)]) - b[static_cast<size_t>(n)];
            sum += d * d;
        }
        const double mean = sum / static_cast<double>(overlap.end - overlap.begin);
        if (mean < bestMean) {
            bestMean = mean;
            best = lag;
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    const std::vector<float> a = firstChannel(options.first);
    const std::vector<float> b = firstChannel(options.second);
    const long lag = options.findLagWithin >= 0 ? leastSquaresLag(a, b, options.findLagWithin) : options.lag;
    const Overlap overlap = overlapAt(a, b, lag);

    long firstDifference = -1;
    long peakAt = -1;
    double peak = 0.0;
    for (long n = overlap.begin; n < overlap.end; ++n) {
        const float x = a[static_cast<size_t>(n + lag)];
        const float y = b[static_cast<size_t>(n)];
        if (sameBits(x, y)) continue;
        if (firstDifference < 0) firstDifference = n;
        const double d = std::fabs(static_cast<double>(x) - y);
        if (!(d <= peak)) {  // a NaN difference is the largest of all
            peak = d;
            peakAt = n;
        }
    }
    std::printf("frames %zu %zu; lag %ld; ", a.size(), b.size(), lag);
    bool matches = true;
    if (firstDifference < 0) {
        std::printf("identical\n");
    } else {
        const double peakDb = 20.0 * std::log10(peak);
        std::printf("first difference at %ld; peak difference %.2f dBFS at %ld\n", firstDifference, peakDb, peakAt);
        matches = options.toleranceDb && peakDb <= *options.toleranceDb;
    }
    if (options.sameLength && a.size() != b.size()) matches = false;
    return matches ? 0 : 1;
}
