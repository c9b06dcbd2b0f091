#include "bench/bench_options.h"

#include <charconv>

namespace tembrel::bench {
namespace {

// A whole decimal number in [low, high]; nothing when the text holds anything else.
std::optional<int> parseNumber(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

}  // namespace

std::string Config::name() const {
    return std::to_string(rate) + (channels == 1 ? "m" : "s") + std::to_string(kbps);
}

const std::vector<Config>& allConfigs() {
    static const std::vector<Config> configs = {
        {8000, 1, 8},   {8000, 2, 16},  {11025, 1, 8},  {11025, 1, 10}, {11025, 2, 16},
        {11025, 2, 20}, {16000, 1, 16}, {16000, 2, 32}, {22050, 1, 20}, {22050, 1, 24},
        {22050, 1, 32}, {22050, 2, 40}, {22050, 2, 48}, {22050, 2, 64}, {44100, 1, 40},
        {44100, 1, 48}, {44100, 2, 80}, {44100, 2, 96},
    };
    return configs;
}

std::optional<Config> parseConfig(std::string_view text) {
    const std::size_t mode = text.find_first_of("ms");
    if (mode == std::string_view::npos)
        return std::nullopt;
    const auto rate = parseNumber(text.substr(0, mode), 1, 1000000);
    const auto kbps = parseNumber(text.substr(mode + 1), 1, 10000);
    if (!rate || !kbps)
        return std::nullopt;
    return Config{*rate, text[mode] == 'm' ? 1 : 2, *kbps};
}

std::optional<Options> parseArguments(const std::vector<std::string>& args,
                                      const std::filesystem::path& clips) {
    Options o;
    o.clips = clips;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--clips" && hasValue) {
            o.clips = args[++i];
        } else if (a == "--runs" && hasValue) {
            const auto runs = parseNumber(args[++i], 1, 1000);
            if (!runs)
                return std::nullopt;
            o.runs = *runs;
        } else if (a == "--configs" && hasValue) {
            o.configs.clear();
            const std::string_view list = args[++i];
            std::size_t start = 0;
            while (start <= list.size()) {
                const std::size_t end = std::min(list.find(',', start), list.size());
                const auto config = parseConfig(list.substr(start, end - start));
                if (!config)
                    return std::nullopt;
                o.configs.push_back(*config);
                start = end + 1;
            }
        } else if (a == "--only" && hasValue) {
            o.clipFilter = args[++i];
        } else if (a == "--per-clip") {
            o.perClip = true;
        } else if (a == "--hashes") {
            o.hashes = true;
        } else if (a == "--bands") {
            o.bands = true;
        } else if (a == "--no-lame") {
            o.lame = false;
        } else if (a == "--lame-kbps" && hasValue) {
            // LAME's highest bit rate is 320 kbit/s.
            const auto kbps = parseNumber(args[++i], 8, 320);
            if (!kbps)
                return std::nullopt;
            o.lameKbps = *kbps;
        } else if (a == "--opus") {
            o.opus = true;
        } else if (a == "--one" && i + 3 < args.size()) {
            const auto config = parseConfig(args[++i]);
            if (!config)
                return std::nullopt;
            o.one = true;
            o.configs = {*config};
            o.oneClip = args[++i];
            o.oneOut = args[++i];
        } else {
            return std::nullopt;
        }
    }
    return o;
}

std::string_view usageText() {
    return "usage: codec_bench [--clips DIR] [--runs N] [--configs 22050m24,44100s96,...]\n"
           "                   [--only TEXT] [--per-clip] [--bands] [--no-lame]\n"
           "                   [--lame-kbps N] [--opus]\n"
           "       codec_bench --hashes [--clips DIR] [--configs ...] [--only TEXT]\n"
           "       codec_bench --one CONFIG CLIP.wav OUT.wav [--no-lame] [--lame-kbps N] [--opus]\n"
           "CONFIG is RATE, m (mono) or s (stereo), and kbit/s, e.g. 22050m24.\n"
           "--lame-kbps N runs LAME at N kbit/s in every configuration instead of at the\n"
           "configuration's bit rate; --opus adds Opus at the configuration's bit rate.\n"
           "--hashes prints, per configuration and clip, hashes of our stream and of its\n"
           "decoded output (a change that keeps them keeps the codec's output).\n";
}

}  // namespace tembrel::bench
