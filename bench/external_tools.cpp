#include "bench/external_tools.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

namespace tembrel::bench {
namespace {

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string kiloHertz(int rate) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%g", rate / 1000.0);
    return text.data();
}

// Runs `encode` `runs` times (at least once), timing each, then `decode`, and reads the
// decoded file, which must have the reference's rate and channels.
ToolRoundTrip roundTrip(const std::string& tool, const std::string& encode,
                        const std::string& decode, const std::string& decodedPath, int rate,
                        int channels, int runs) {
    ToolRoundTrip result;
    for (int run = 0; run < std::max(1, runs); ++run) {
        double seconds = 0;
        if (!runQuiet(encode, &seconds)) {
            result.error = tool + " encoder failed";
            return result;
        }
        result.encodeCpuSeconds.push_back(seconds);
    }
    if (!runQuiet(decode)) {
        result.error = tool + " decoder failed";
        return result;
    }
    std::optional<AudioClip> clip = readWav(decodedPath);
    if (!clip || clip->rate != rate || clip->channels != channels) {
        result.error = tool + " decoded no " + std::to_string(rate) + " Hz " +
                       std::to_string(channels) + "-channel audio";
        return result;
    }
    result.decoded = std::move(*clip);
    result.ok = true;
    return result;
}

}  // namespace

std::string shellQuote(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool runQuiet(const std::string& command, double* cpuSeconds) {
    const double before = childCpuSeconds();
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    if (cpuSeconds)
        *cpuSeconds = childCpuSeconds() - before;
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool soxConvert(const std::string& in, const std::string& out, int rate, int channels) {
    std::string command = "sox -D -G ";
    command.append(shellQuote(in)).append(" -b 16 ").append(shellQuote(out));
    command.append(" channels ")
        .append(std::to_string(channels))
        .append(" rate -v ")
        .append(std::to_string(rate));
    return runQuiet(command);
}

bool mpegHasBitRate(int rate, int kbps) {
    static constexpr std::array mpeg1{32,  40,  48,  56,  64,  80,  96,
                                      112, 128, 160, 192, 224, 256, 320};
    static constexpr std::array mpeg2{8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    if (rate >= 32000)
        return std::find(mpeg1.begin(), mpeg1.end(), kbps) != mpeg1.end();
    return std::find(mpeg2.begin(), mpeg2.end(), kbps) != mpeg2.end();
}

std::vector<std::string> lameOptions(int rate, int channels, int kbps) {
    std::vector<std::string> options{"--quiet",    "--noreplaygain",
                                     "--resample", kiloHertz(rate),
                                     "-m",         channels == 1 ? "m" : "j"};
    if (mpegHasBitRate(rate, kbps)) {
        options.insert(options.end(), {"-b", std::to_string(kbps)});
    } else {
        options.insert(options.end(), {"--abr", std::to_string(kbps)});
    }
    return options;
}

ToolRoundTrip lameRoundTrip(const std::string& wav, const std::string& workDir, int rate,
                            int channels, int kbps, int runs) {
    std::string encode = "lame";
    for (const std::string& option : lameOptions(rate, channels, kbps))
        encode.append(" ").append(option);
    const std::string mp3 = shellQuote(workDir + "/lame.mp3");
    encode.append(" ").append(shellQuote(wav)).append(" ").append(mp3);
    const std::string decoded = workDir + "/lame.wav";
    return roundTrip("lame", encode, "lame --quiet --decode " + mp3 + " " + shellQuote(decoded),
                     decoded, rate, channels, runs);
}

std::vector<std::string> opusOptions(int kbps) {
    return {"--quiet", "--bitrate", std::to_string(kbps), "--hard-cbr"};
}

ToolRoundTrip opusRoundTrip(const std::string& wav, const std::string& workDir, int rate,
                            int channels, int kbps, int runs) {
    std::string encode = "opusenc";
    for (const std::string& option : opusOptions(kbps))
        encode.append(" ").append(option);
    const std::string opus = shellQuote(workDir + "/opus.opus");
    encode.append(" ").append(shellQuote(wav)).append(" ").append(opus);
    // Without dither, so that runs repeat.
    const std::string decoded = workDir + "/opus.wav";
    const std::string decode = "opusdec --quiet --no-dither --rate " + std::to_string(rate) + " " +
                               opus + " " + shellQuote(decoded);
    return roundTrip("opus", encode, decode, decoded, rate, channels, runs);
}

}  // namespace tembrel::bench
