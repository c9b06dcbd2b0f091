// Measures the VQF codec against LAME on the clip set: quality (NMR, SNR, segmental SNR)
// and speed (CPU real-time factors) for every configuration, as one table. With --one it
// runs one configuration on one clip and writes the decoded WAV files for listening.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bench/alignment.h"
#include "bench/audio_clip.h"
#include "bench/external_tools.h"
#include "bench/nmr_meter.h"
#include "bench/tvq_round_trip.h"

namespace fs = std::filesystem;
using namespace tembrel::bench;

namespace {

struct Config {
    int rate;
    int channels;
    int kbps;
    std::string name() const {
        return std::to_string(rate) + (channels == 1 ? "m" : "s") + std::to_string(kbps);
    }
};

const std::vector<Config> kConfigs = {
    {8000, 1, 8},   {8000, 2, 16},  {11025, 1, 8},  {11025, 1, 10}, {11025, 2, 16}, {11025, 2, 20},
    {16000, 1, 16}, {16000, 2, 32}, {22050, 1, 20}, {22050, 1, 24}, {22050, 1, 32}, {22050, 2, 40},
    {22050, 2, 48}, {22050, 2, 64}, {44100, 1, 40}, {44100, 1, 48}, {44100, 2, 80}, {44100, 2, 96},
};

// The decoded output of an MPEG decoder lags by at most a few frames.
constexpr long kMaxLameLag = 4096;

std::optional<Config> parseConfig(const std::string& text) {
    int rate = 0, kbps = 0;
    char mode = 0;
    if (std::sscanf(text.c_str(), "%d%c%d", &rate, &mode, &kbps) != 3 ||
        (mode != 'm' && mode != 's'))
        return std::nullopt;
    return Config{rate, mode == 'm' ? 1 : 2, kbps};
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t m = values.size() / 2;
    return values.size() % 2 ? values[m] : (values[m - 1] + values[m]) / 2;
}

struct Options {
    fs::path clips = fs::path(TEMBREL_SOURCE_DIR) / "bench" / "clips";
    int runs = 3;
    bool lame = true;
    bool perClip = false;
    bool bands = false;
    std::vector<Config> configs = kConfigs;
    std::string clipFilter;
    // --one CONFIG CLIP OUT
    bool one = false;
    std::string oneClip, oneOut;
};

void usage() {
    std::fprintf(stderr,
                 "usage: codec_bench [--clips DIR] [--runs N] [--configs 22050m24,44100s96,...]\n"
                 "                   [--only TEXT] [--per-clip] [--no-lame]\n"
                 "       codec_bench --one CONFIG CLIP.wav OUT.wav [--no-lame]\n"
                 "CONFIG is RATE, m (mono) or s (stereo), and kbit/s, e.g. 22050m24.\n");
}

std::optional<Options> parseArguments(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--clips" && hasValue) {
            o.clips = argv[++i];
        } else if (a == "--runs" && hasValue) {
            o.runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--configs" && hasValue) {
            o.configs.clear();
            std::string list = argv[++i];
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
            o.clipFilter = argv[++i];
        } else if (a == "--per-clip") {
            o.perClip = true;
        } else if (a == "--bands") {
            o.bands = true;
        } else if (a == "--no-lame") {
            o.lame = false;
        } else if (a == "--one" && i + 3 < argc) {
            const auto config = parseConfig(argv[++i]);
            if (!config)
                return std::nullopt;
            o.one = true;
            o.configs = {*config};
            o.oneClip = argv[++i];
            o.oneOut = argv[++i];
        } else {
            return std::nullopt;
        }
    }
    return o;
}

// Scratch folder for resampled clips and LAME's files, removed at the end.
class WorkDir {
  public:
    WorkDir() {
        std::string pattern = (fs::temp_directory_path() / "codec-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~WorkDir() {
        std::error_code ec;
        if (!path_.empty())
            fs::remove_all(path_, ec);
    }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

struct Measured {
    bool ok = false;
    QualityScores quality;
    double cpuEncode = 0, cpuDecode = 0;  // medians over the runs
    double audioSeconds = 0;
    std::string note;
};

struct ClipRun {
    double seconds = 0;
    Measured ours, lame;
};

// Our codec and LAME on one reference clip already at the configuration's format.
ClipRun runClip(const Config& config, const std::string& referencePath, const AudioClip& reference,
                const Options& options, const fs::path& work, const std::string& writeOurs,
                const std::string& writeLame) {
    ClipRun run;
    run.seconds = reference.seconds();

    TvqResult ours = tvqRoundTrip(reference, config.kbps, options.runs);
    if (ours.ok) {
        run.ours.ok = true;
        run.ours.quality =
            measureQuality(reference.samples, ours.decoded.samples, config.channels, config.rate);
        run.ours.cpuEncode = median(ours.encodeCpuSeconds);
        run.ours.cpuDecode = median(ours.decodeCpuSeconds);
        // The two-frame delay should leave the output aligned; say so when it does not.
        const long lag = findLag(monoMix(reference), monoMix(ours.decoded), ours.frameSize);
        if (lag != 0)
            run.ours.note.append(" lag ").append(std::to_string(lag));
        if (ours.layoutBits != ours.frameBits)
            run.ours.note.append(" layout ")
                .append(std::to_string(ours.layoutBits))
                .append("/")
                .append(std::to_string(ours.frameBits))
                .append(" bits");
        if (ours.oversizeFields > 0)
            run.ours.note.append(" ")
                .append(std::to_string(ours.oversizeFields))
                .append(" oversize fields");
        if (!writeOurs.empty() && !writeWav(writeOurs, ours.decoded))
            std::fprintf(stderr, "cannot write %s\n", writeOurs.c_str());
    } else {
        run.ours.note = ours.error;
    }

    if (options.lame) {
        const LameResult lame = lameRoundTrip(referencePath, work.string(), config.rate,
                                              config.channels, config.kbps, options.runs);
        if (lame.ok) {
            const long lag = findLag(monoMix(reference), monoMix(lame.decoded), kMaxLameLag);
            const AudioClip aligned = shiftedClip(lame.decoded, lag, reference.frames());
            run.lame.ok = true;
            run.lame.quality =
                measureQuality(reference.samples, aligned.samples, config.channels, config.rate);
            run.lame.cpuEncode = median(lame.encodeCpuSeconds);
            if (!writeLame.empty() && !writeWav(writeLame, aligned))
                std::fprintf(stderr, "cannot write %s\n", writeLame.c_str());
        } else {
            run.lame.note = "lame failed";
        }
    }
    return run;
}

// Upper edges of the frequency ranges the --bands breakdown sums the noise over.
constexpr double kBandGroupHz[] = {500,  1000,  2000,  3000,  4000,  6000,
                                   8000, 10000, 12000, 14000, 16000, 1e9};
constexpr int kBandGroups = int(std::size(kBandGroupHz));
using BandGroups = std::array<double, kBandGroups>;

// Each range's share of the band-mean noise-to-mask ratio (they add up to the NMR's linear
// value), so the ranges that dominate the NMR stand out.
void addBandGroups(const QualityScores& q, BandGroups& sum) {
    for (std::size_t b = 0; b < q.bandRatio.size(); ++b) {
        int g = 0;
        while (q.bandHz[b] > kBandGroupHz[g])
            ++g;
        sum[g] += q.bandRatio[b] / double(q.bandRatio.size());
    }
}

void printBandGroups(const std::string& name, const BandGroups& ours, const BandGroups& lame,
                     int count) {
    std::printf("%-10s bands (kHz, noise share in dB, ours/LAME):", name.c_str());
    double low = 0;
    for (int g = 0; g < kBandGroups; ++g) {
        const auto db = [&](double v) { return v > 0 ? 10.0 * std::log10(v / count) : -99.0; };
        if (kBandGroupHz[g] > 1e8)
            std::printf(" %g- %.1f/%.1f", low / 1000, db(ours[g]), db(lame[g]));
        else
            std::printf(" %g-%g %.1f/%.1f", low / 1000, kBandGroupHz[g] / 1000, db(ours[g]),
                        db(lame[g]));
        low = kBandGroupHz[g];
    }
    std::printf("\n");
}

std::string realTime(double audioSeconds, double cpuSeconds) {
    if (cpuSeconds <= 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", audioSeconds / cpuSeconds);
    return text;
}

std::string scores(const Measured& m) {
    if (!m.ok)
        return "     -      -      -";
    char text[64];
    std::snprintf(text, sizeof text, "%6.2f %6.1f %6.1f", m.quality.nmrDb, m.quality.snrDb,
                  m.quality.segSnrDb);
    return text;
}

void printHeader(bool perClip) {
    std::printf("%-39s | %-20s | %-20s | %s\n", "", "ours", "LAME", "speed (x real time)");
    std::printf("%-10s %-28s | %6s %6s %6s | %6s %6s %6s | %7s %7s %7s\n", "config",
                perClip ? "clip" : "clips", "NMR", "SNR", "segSNR", "NMR", "SNR", "segSNR", "enc",
                "dec", "LAME enc");
}

int runOne(const Options& options) {
    const Config config = options.configs.front();
    WorkDir work;
    if (work.path().empty())
        return 1;
    const std::string reference = (work.path() / "reference.wav").string();
    if (!soxConvert(options.oneClip, reference, config.rate, config.channels)) {
        std::fprintf(stderr, "cannot convert %s to %s\n", options.oneClip.c_str(),
                     config.name().c_str());
        return 1;
    }
    const auto clip = readWav(reference);
    if (!clip)
        return 1;
    // Beside OUT.wav: OUT-lame.wav (LAME's output, aligned) and OUT-ref.wav (the input
    // as both codecs received it).
    const fs::path out(options.oneOut);
    const std::string stem = (out.parent_path() / out.stem()).string();
    const std::string lameOut = options.lame ? stem + "-lame.wav" : "";
    const std::string referenceOut = stem + "-ref.wav";
    if (!writeWav(referenceOut, *clip))
        std::fprintf(stderr, "cannot write %s\n", referenceOut.c_str());
    const ClipRun run =
        runClip(config, reference, *clip, options, work.path(), options.oneOut, lameOut);
    printHeader(false);
    std::printf("%-10s %-28s | %s | %s | %7s %7s %7s%s\n", config.name().c_str(),
                out.stem().c_str(), scores(run.ours).c_str(), scores(run.lame).c_str(),
                realTime(run.seconds, run.ours.cpuEncode).c_str(),
                realTime(run.seconds, run.ours.cpuDecode).c_str(),
                realTime(run.seconds, run.lame.cpuEncode).c_str(), run.ours.note.c_str());
    std::printf("wrote %s, %s%s%s\n", options.oneOut.c_str(), referenceOut.c_str(),
                lameOut.empty() ? "" : ", ", lameOut.c_str());
    return run.ours.ok ? 0 : 1;
}

int runAll(const Options& options) {
    std::vector<fs::path> clips;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(options.clips, ec))
        if (entry.path().extension() == ".wav" &&
            entry.path().filename().string().find(options.clipFilter) != std::string::npos)
            clips.push_back(entry.path());
    std::sort(clips.begin(), clips.end());
    if (clips.empty()) {
        std::fprintf(stderr, "no clips in %s: run scripts/get_clips.sh first\n",
                     options.clips.c_str());
        return 1;
    }
    WorkDir work;
    if (work.path().empty())
        return 1;

    std::printf(
        "%zu clips from %s, %d runs per speed figure; NMR in dB (lower is better), SNR in dB,\n"
        "speeds as audio seconds per CPU second (single thread)\n\n",
        clips.size(), options.clips.c_str(), options.runs);
    printHeader(options.perClip);
    bool allOk = true;
    for (const Config& config : options.configs) {
        Measured sumOurs, sumLame;
        int oursCount = 0, lameCount = 0;
        BandGroups bandsOurs{}, bandsLame{};
        std::string notes;
        for (const fs::path& clip : clips) {
            // One resampled reference per format, shared by that format's bit rates.
            const fs::path reference =
                work.path() / (clip.stem().string() + "-" + std::to_string(config.rate) + "-" +
                               std::to_string(config.channels) + ".wav");
            if (!fs::exists(reference) &&
                !soxConvert(clip.string(), reference.string(), config.rate, config.channels)) {
                std::fprintf(stderr, "cannot convert %s\n", clip.c_str());
                allOk = false;
                continue;
            }
            const auto audio = readWav(reference.string());
            if (!audio)
                continue;
            const ClipRun run =
                runClip(config, reference.string(), *audio, options, work.path(), "", "");
            if (options.perClip)
                std::printf("%-10s %-28s | %s | %s | %7s %7s %7s%s\n", config.name().c_str(),
                            clip.stem().c_str(), scores(run.ours).c_str(), scores(run.lame).c_str(),
                            realTime(run.seconds, run.ours.cpuEncode).c_str(),
                            realTime(run.seconds, run.ours.cpuDecode).c_str(),
                            realTime(run.seconds, run.lame.cpuEncode).c_str(),
                            run.ours.note.c_str());
            if (run.ours.ok && run.lame.ok) {
                addBandGroups(run.ours.quality, bandsOurs);
                addBandGroups(run.lame.quality, bandsLame);
            }
            if (!run.ours.note.empty() && notes.find(run.ours.note) == std::string::npos)
                notes += run.ours.note;
            using Sum = std::tuple<const Measured*, Measured*, int*>;
            for (auto [m, sum, count] :
                 {Sum{&run.ours, &sumOurs, &oursCount}, Sum{&run.lame, &sumLame, &lameCount}}) {
                if (!m->ok)
                    continue;
                sum->ok = true;
                sum->quality.nmrDb += m->quality.nmrDb;
                sum->quality.snrDb += m->quality.snrDb;
                sum->quality.segSnrDb += m->quality.segSnrDb;
                sum->cpuEncode += m->cpuEncode;
                sum->cpuDecode += m->cpuDecode;
                sum->audioSeconds += run.seconds;
                ++*count;
            }
        }
        for (auto [sum, count] : {std::pair{&sumOurs, oursCount}, std::pair{&sumLame, lameCount}}) {
            if (count == 0)
                continue;
            sum->quality.nmrDb /= count;
            sum->quality.snrDb /= count;
            sum->quality.segSnrDb /= count;
        }
        if (oursCount == 0)
            allOk = false;
        // Speeds over all clips: total audio time over total CPU time.
        std::printf("%-10s %-28s | %s | %s | %7s %7s %7s%s\n", config.name().c_str(),
                    options.perClip ? "(mean)" : std::to_string(oursCount).c_str(),
                    scores(sumOurs).c_str(), scores(sumLame).c_str(),
                    realTime(sumOurs.audioSeconds, sumOurs.cpuEncode).c_str(),
                    realTime(sumOurs.audioSeconds, sumOurs.cpuDecode).c_str(),
                    realTime(sumLame.audioSeconds, sumLame.cpuEncode).c_str(), notes.c_str());
        if (options.bands && lameCount > 0)
            printBandGroups(config.name(), bandsOurs, bandsLame, lameCount);
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        usage();
        return 0;
    }
    const auto options = parseArguments(argc, argv);
    if (!options) {
        usage();
        return 2;
    }
    return options->one ? runOne(*options) : runAll(*options);
}
