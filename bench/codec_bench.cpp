// Measures the VQF codec against LAME (and, with --opus, Opus) on the clip set: quality
// (NMR, SNR, segmental SNR) and speed (CPU real-time factors) for every configuration, as
// one table. With --one it runs one configuration on one clip and writes the decoded WAV
// files for listening.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/alignment.h"
#include "bench/audio_clip.h"
#include "bench/bench_options.h"
#include "bench/external_tools.h"
#include "bench/nmr_meter.h"
#include "bench/tvq_round_trip.h"

namespace fs = std::filesystem;
using namespace tembrel::bench;

namespace {

// A reference codec's decoded output lags by at most a few of its frames.
constexpr long kMaxReferenceLag = 4096;

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t m = values.size() / 2;
    return values.size() % 2 ? values[m] : (values[m - 1] + values[m]) / 2;
}

// Scratch folder for resampled clips and the reference codecs' files, removed at the end.
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

// Our codec and the references on one clip, or their sums over the clips.
struct Row {
    Measured ours, lame, opus;
};

// A reference codec's output aligned to the reference by cross-correlation and measured;
// written to `writeTo` when that is given.
Measured measureReference(const ToolRoundTrip& trip, const AudioClip& reference,
                          const Config& config, const std::string& writeTo) {
    Measured m;
    m.audioSeconds = reference.seconds();
    if (!trip.ok) {
        m.note = " " + trip.error;
        return m;
    }
    const long lag = findLag(monoMix(reference), monoMix(trip.decoded), kMaxReferenceLag);
    const AudioClip aligned = shiftedClip(trip.decoded, lag, reference.frames());
    m.ok = true;
    m.quality = measureQuality(reference.samples, aligned.samples, config.channels, config.rate);
    m.cpuEncode = median(trip.encodeCpuSeconds);
    if (!writeTo.empty() && !writeWav(writeTo, aligned))
        std::fprintf(stderr, "cannot write %s\n", writeTo.c_str());
    return m;
}

// Where --one writes the decoded outputs; empty names are not written.
struct Outputs {
    std::string ours, lame, opus;
};

// Our codec and the references on one reference clip already at the configuration's format.
Row runClip(const Config& config, const std::string& referencePath, const AudioClip& reference,
            const Options& options, const fs::path& work, const Outputs& outputs) {
    Row run;
    run.ours.audioSeconds = reference.seconds();

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
        if (!outputs.ours.empty() && !writeWav(outputs.ours, ours.decoded))
            std::fprintf(stderr, "cannot write %s\n", outputs.ours.c_str());
    } else {
        run.ours.note = ours.error;
    }

    if (options.lame)
        run.lame = measureReference(
            lameRoundTrip(referencePath, work.string(), config.rate, config.channels,
                          options.lameKbpsFor(config), options.runs),
            reference, config, outputs.lame);
    if (options.opus)
        run.opus = measureReference(opusRoundTrip(referencePath, work.string(), config.rate,
                                                  config.channels, config.kbps, options.runs),
                                    reference, config, outputs.opus);
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

// The --bands breakdown of the codecs that ran, summed over the clips all of them coded.
struct BandSums {
    std::vector<std::string> names;
    std::vector<BandGroups> sums;
    int count = 0;

    explicit BandSums(const Options& options) {
        names.push_back("ours");
        if (options.lame)
            names.push_back("LAME");
        if (options.opus)
            names.push_back("Opus");
        sums.resize(names.size(), BandGroups{});
    }

    void add(const Row& run, const Options& options) {
        std::vector<const Measured*> coded{&run.ours};
        if (options.lame)
            coded.push_back(&run.lame);
        if (options.opus)
            coded.push_back(&run.opus);
        for (const Measured* m : coded)
            if (!m->ok)
                return;
        for (std::size_t c = 0; c < coded.size(); ++c)
            addBandGroups(coded[c]->quality, sums[c]);
        ++count;
    }

    void print(const std::string& config) const {
        std::string legend;
        for (const std::string& name : names)
            legend += (legend.empty() ? "" : "/") + name;
        std::printf("%-10s bands (kHz, noise share in dB, %s):", config.c_str(), legend.c_str());
        const auto db = [&](double v) { return v > 0 ? 10.0 * std::log10(v / count) : -99.0; };
        double low = 0;
        for (int g = 0; g < kBandGroups; ++g) {
            if (kBandGroupHz[g] > 1e8)
                std::printf(" %g-", low / 1000);
            else
                std::printf(" %g-%g", low / 1000, kBandGroupHz[g] / 1000);
            for (std::size_t c = 0; c < sums.size(); ++c)
                std::printf("%s%.1f", c == 0 ? " " : "/", db(sums[c][g]));
            low = kBandGroupHz[g];
        }
        std::printf("\n");
    }
};

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

void printHeader(const Options& options) {
    std::string lame = "LAME";
    if (options.lame && options.lameKbps > 0)
        lame += " at " + std::to_string(options.lameKbps) + " kbit/s";
    std::printf("%-39s | %-20s | %-20s |", "", "ours", lame.c_str());
    if (options.opus)
        std::printf(" %-20s |", "Opus");
    std::printf(" %s\n", "speed (x real time)");
    std::printf("%-10s %-28s |", "config", options.perClip ? "clip" : "clips");
    for (int group = 0; group < (options.opus ? 3 : 2); ++group)
        std::printf(" %6s %6s %6s |", "NMR", "SNR", "segSNR");
    std::printf(" %7s %7s %7s", "enc", "dec", "LAME enc");
    if (options.opus)
        std::printf(" %7s", "Opus enc");
    std::printf("\n");
}

// Speeds are total audio time over total CPU time, so sums print as they are.
void printRow(const std::string& config, const std::string& label, const Row& row,
              const std::string& notes, const Options& options) {
    std::printf("%-10s %-28s | %s | %s |", config.c_str(), label.c_str(), scores(row.ours).c_str(),
                scores(row.lame).c_str());
    if (options.opus)
        std::printf(" %s |", scores(row.opus).c_str());
    std::printf(" %7s %7s %7s", realTime(row.ours.audioSeconds, row.ours.cpuEncode).c_str(),
                realTime(row.ours.audioSeconds, row.ours.cpuDecode).c_str(),
                realTime(row.lame.audioSeconds, row.lame.cpuEncode).c_str());
    if (options.opus)
        std::printf(" %7s", realTime(row.opus.audioSeconds, row.opus.cpuEncode).c_str());
    std::printf("%s\n", notes.c_str());
}

// What went wrong or looks odd on a row: our codec's notes, then the references' failures.
std::string rowNotes(const Row& row) {
    return row.ours.note + row.lame.note + row.opus.note;
}

bool haveOpusTools() {
    if (runQuiet("{ command -v opusenc && command -v opusdec; }"))
        return true;
    std::fprintf(stderr, "--opus needs opusenc and opusdec: run scripts/get_clips.sh\n");
    return false;
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
    // Beside OUT.wav: OUT-lame.wav and OUT-opus.wav (the references' outputs, aligned) and
    // OUT-ref.wav (the input as every codec received it).
    const fs::path out(options.oneOut);
    const std::string stem = (out.parent_path() / out.stem()).string();
    const Outputs outputs{options.oneOut, options.lame ? stem + "-lame.wav" : "",
                          options.opus ? stem + "-opus.wav" : ""};
    const std::string referenceOut = stem + "-ref.wav";
    if (!writeWav(referenceOut, *clip))
        std::fprintf(stderr, "cannot write %s\n", referenceOut.c_str());
    const Row run = runClip(config, reference, *clip, options, work.path(), outputs);
    printHeader(options);
    printRow(config.name(), out.stem().string(), run, rowNotes(run), options);
    std::string written = options.oneOut + ", " + referenceOut;
    for (const std::string& name : {outputs.lame, outputs.opus})
        if (!name.empty())
            written += ", " + name;
    std::printf("wrote %s\n", written.c_str());
    return run.ours.ok ? 0 : 1;
}

// Adds one clip's figures to a configuration's sums.
void addToSum(const Measured& m, Measured& sum, int& count) {
    if (!m.ok)
        return;
    sum.ok = true;
    sum.quality.nmrDb += m.quality.nmrDb;
    sum.quality.snrDb += m.quality.snrDb;
    sum.quality.segSnrDb += m.quality.segSnrDb;
    sum.cpuEncode += m.cpuEncode;
    sum.cpuDecode += m.cpuDecode;
    sum.audioSeconds += m.audioSeconds;
    ++count;
}

// The clips --clips and --only select, sorted; empty (and said so) when there are none.
std::vector<fs::path> selectedClips(const Options& options) {
    std::vector<fs::path> clips;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(options.clips, ec))
        if (entry.path().extension() == ".wav" &&
            entry.path().filename().string().find(options.clipFilter) != std::string::npos)
            clips.push_back(entry.path());
    std::sort(clips.begin(), clips.end());
    if (clips.empty())
        std::fprintf(stderr, "no clips in %s: run scripts/get_clips.sh first\n",
                     options.clips.c_str());
    return clips;
}

// A clip converted to a configuration's format in `work`, once per format (shared by that
// format's bit rates); empty when sox fails.
std::string referenceFor(const fs::path& clip, const Config& config, const fs::path& work) {
    const fs::path reference = work / (clip.stem().string() + "-" + std::to_string(config.rate) +
                                       "-" + std::to_string(config.channels) + ".wav");
    if (!fs::exists(reference) &&
        !soxConvert(clip.string(), reference.string(), config.rate, config.channels)) {
        std::fprintf(stderr, "cannot convert %s\n", clip.c_str());
        return {};
    }
    return reference.string();
}

// --hashes: one line per configuration and clip.
int runHashes(const Options& options) {
    const std::vector<fs::path> clips = selectedClips(options);
    WorkDir work;
    if (clips.empty() || work.path().empty())
        return 1;
    bool allOk = true;
    for (const Config& config : options.configs) {
        for (const fs::path& clip : clips) {
            const std::string reference = referenceFor(clip, config, work.path());
            const auto audio = reference.empty() ? std::nullopt : readWav(reference);
            const TvqResult ours = audio ? tvqRoundTrip(*audio, config.kbps, 1) : TvqResult{};
            if (!ours.ok) {
                std::printf("%-10s %-28s failed %s\n", config.name().c_str(), clip.stem().c_str(),
                            ours.error.c_str());
                allOk = false;
                continue;
            }
            std::printf("%-10s %-28s %016llx %016llx\n", config.name().c_str(), clip.stem().c_str(),
                        static_cast<unsigned long long>(ours.streamHash),
                        static_cast<unsigned long long>(ours.decodedHash));
        }
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}

int runAll(const Options& options) {
    const std::vector<fs::path> clips = selectedClips(options);
    WorkDir work;
    if (clips.empty() || work.path().empty())
        return 1;

    std::printf(
        "%zu clips from %s, %d runs per speed figure; NMR in dB (lower is better), SNR in dB,\n"
        "speeds as audio seconds per CPU second (single thread)\n",
        clips.size(), options.clips.c_str(), options.runs);
    if (options.lame && options.lameKbps > 0)
        std::printf("LAME at %d kbit/s in every configuration\n", options.lameKbps);
    if (options.opus)
        std::printf("Opus at the configuration's bit rate, hard CBR\n");
    std::printf("\n");
    printHeader(options);
    bool allOk = true;
    for (const Config& config : options.configs) {
        Row sum;
        int oursCount = 0, lameCount = 0, opusCount = 0;
        BandSums bands(options);
        std::string notes;
        for (const fs::path& clip : clips) {
            const std::string reference = referenceFor(clip, config, work.path());
            if (reference.empty()) {
                allOk = false;
                continue;
            }
            const auto audio = readWav(reference);
            if (!audio)
                continue;
            const Row run = runClip(config, reference, *audio, options, work.path(), {});
            const std::string clipNotes = rowNotes(run);
            if (options.perClip)
                printRow(config.name(), clip.stem().string(), run, clipNotes, options);
            bands.add(run, options);
            if (!clipNotes.empty() && notes.find(clipNotes) == std::string::npos)
                notes += clipNotes;
            addToSum(run.ours, sum.ours, oursCount);
            addToSum(run.lame, sum.lame, lameCount);
            addToSum(run.opus, sum.opus, opusCount);
        }
        using Count = std::pair<Measured*, int>;
        for (auto [m, count] : {Count{&sum.ours, oursCount}, Count{&sum.lame, lameCount},
                                Count{&sum.opus, opusCount}}) {
            if (count == 0)
                continue;
            m->quality.nmrDb /= count;
            m->quality.snrDb /= count;
            m->quality.segSnrDb /= count;
        }
        if (oursCount == 0)
            allOk = false;
        printRow(config.name(), options.perClip ? "(mean)" : std::to_string(oursCount), sum, notes,
                 options);
        if (options.bands && bands.count > 0 && bands.names.size() > 1)
            bands.print(config.name());
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::fputs(usageText().data(), stderr);
        return 0;
    }
    const auto options = parseArguments(std::vector<std::string>(argv + 1, argv + argc),
                                        fs::path(TEMBREL_SOURCE_DIR) / "bench" / "clips");
    if (!options) {
        std::fputs(usageText().data(), stderr);
        return 2;
    }
    if (options->opus && !haveOpusTools())
        return 1;
    if (options->hashes)
        return runHashes(*options);
    return options->one ? runOne(*options) : runAll(*options);
}
