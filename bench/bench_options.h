// The benchmark's command line: which configurations and clips to run, and which
// reference codecs to run beside ours.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tembrel::bench {

// A configuration the converter offers: sample rate, channels and bit rate.
struct Config {
    int rate = 0;
    int channels = 0;
    int kbps = 0;
    // As written on the command line: RATE, m or s, kbit/s, e.g. 22050m24.
    std::string name() const;
    bool operator==(const Config&) const = default;
};

// Every configuration, in the table's order.
const std::vector<Config>& allConfigs();

// "22050m24" or "44100s96"; nothing for anything else, including trailing text and
// rates or bit rates that are not positive.
std::optional<Config> parseConfig(std::string_view text);

struct Options {
    std::filesystem::path clips;
    int runs = 3;
    bool lame = true;
    // LAME's bit rate for every configuration; 0 runs LAME at the configuration's own.
    int lameKbps = 0;
    bool opus = false;
    bool perClip = false;
    bool bands = false;
    // --hashes: only our codec, one run, a line per configuration and clip with the hashes
    // of the stream and of the decoded output, for checking that a change keeps them.
    bool hashes = false;
    std::vector<Config> configs = allConfigs();
    std::string clipFilter;
    // --one CONFIG CLIP OUT
    bool one = false;
    std::string oneClip, oneOut;

    int lameKbpsFor(const Config& config) const { return lameKbps > 0 ? lameKbps : config.kbps; }
};

// The options given in `args` (without the program name), starting from `clips` as the
// clip folder; nothing when an option is unknown, lacks its value or has a bad one.
std::optional<Options> parseArguments(const std::vector<std::string>& args,
                                      const std::filesystem::path& clips);

// The usage text --help and a bad command line print.
std::string_view usageText();

}  // namespace tembrel::bench
