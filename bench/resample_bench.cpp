// What resampling costs next to encoding, and that memory stays the same whatever the
// file's length. For each length (seconds, default 10 60 300) a child process writes
// 48 kHz stereo 16-bit music of that length, reads it once through the sample feed
// alone (resampling to 44.1 kHz, no encoding), then converts it with the encoder driver
// and reports its peak resident memory.
//   resample_bench [SECONDS...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/convert_job.h"
#include "driver/job_progress.h"
#include "platform/byte_order.h"
#include "sources/conversion_plan.h"
#include "twinvq/encoder_driver.h"
#include "twinvq/sample_feed.h"

namespace tembrel {
namespace {

constexpr uint32_t kRate = 48000;

// Chords of decaying notes over a little noise, written a second at a time.
bool writeMusic(const std::string& path, uint32_t seconds) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const uint32_t bytes = seconds * kRate * 4;
    std::vector<uint8_t> header;
    for (const char* id : {"RIFF"})
        header.insert(header.end(), id, id + 4);
    bytes::appendLE(header, 36 + bytes, 4);
    for (const char* id : {"WAVE", "fmt "})
        header.insert(header.end(), id, id + 4);
    for (auto [v, w] : {std::pair<uint32_t, int>{16, 4},
                        {1, 2},
                        {2, 2},
                        {kRate, 4},
                        {kRate * 4, 4},
                        {4, 2},
                        {16, 2}})
        bytes::appendLE(header, v, std::size_t(w));
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    bytes::appendLE(header, bytes, 4);
    std::fwrite(header.data(), 1, header.size(), f);
    std::vector<uint8_t> second(kRate * 4);
    uint32_t noise = 1;
    for (uint32_t s = 0; s < seconds; ++s) {
        const double root = 110.0 * std::pow(2.0, (s * 5 % 12) / 12.0);
        for (uint32_t i = 0; i < kRate; ++i) {
            const double t = double(i) / kRate;
            const double decay = std::exp(-3.0 * t);
            double v = 0;
            for (double ratio : {1.0, 1.25, 1.5, 2.0, 3.0})
                v += std::sin(2 * M_PI * root * ratio * t) * decay / ratio;
            noise = noise * 1664525u + 1013904223u;
            const double n = (double(noise >> 8) / double(1u << 24) - 0.5) * 0.02;
            for (int c = 0; c < 2; ++c) {
                const double x = 6000.0 * v * (c == 0 ? 1.0 : 0.8) + 32767.0 * n;
                bytes::storeLE(std::span(second).subspan(i * 4 + c * 2), uint32_t(int16_t(x)), 2);
            }
        }
        std::fwrite(second.data(), 1, second.size(), f);
    }
    return std::fclose(f) == 0;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int measure(uint32_t seconds) {
    const std::string path = "/tmp/tembrel-resample-bench-" + std::to_string(getpid()) + ".wav";
    if (!writeMusic(path, seconds))
        return 1;
    // The sample feed alone: reading and resampling, as the encoder would be fed.
    double feedTime = 0;
    {
        SourceSelector selector;
        if (!selector.open(path.c_str(), false))
            return 1;
        const ConversionPlan plan = planConversion(*selector.format, false);
        const int frameSize = 1024;
        SampleFeed feed(selector, plan, frameSize);
        std::vector<float> frame(2 * frameSize);
        const auto start = std::chrono::steady_clock::now();
        for (uint64_t done = 0; done < feed.totalFrames(); done += frameSize)
            feed.next(std::size_t(std::min<uint64_t>(frameSize, feed.totalFrames() - done)), frame);
        feedTime = secondsSince(start);
    }
    EncoderDriver& driver = encoderDriver();
    driver.setConvertOtherFormats(true);
    jobProgress().resetForEncoding();
    const auto start = std::chrono::steady_clock::now();
    const int result = driver.encodeFile(path, vqfPathFor(path));
    const bool written = driver.takeOutput().commit();
    const double encodeTime = secondsSince(start);
    std::remove(path.c_str());
    std::remove(vqfPathFor(path).c_str());
    if (result != 0 || !written || !driver.failureReason().empty()) {
        std::fprintf(stderr, "encode failed: %s\n", driver.failureReason().c_str());
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "%6u s  feed (read + resample) %7.2f s  %6.0fx real time | whole conversion %7.2f s"
        "  %5.0fx | resampling %4.1f %% of it | peak RSS %6.1f MB\n",
        seconds, feedTime, seconds / feedTime, encodeTime, seconds / encodeTime,
        100.0 * feedTime / encodeTime, usage.ru_maxrss / 1024.0);
    return 0;
}

}  // namespace
}  // namespace tembrel

int main(int argc, char** argv) {
    std::vector<uint32_t> lengths;
    for (int i = 1; i < argc; ++i)
        lengths.push_back(uint32_t(std::strtoul(argv[i], nullptr, 10)));
    if (lengths.empty())
        lengths = {10, 60, 300};
    std::printf("48000 Hz stereo 16-bit -> 44100 Hz, 96 kbit/s\n");
    std::fflush(stdout);
    int status = 0;
    for (uint32_t seconds : lengths) {
        // One process per length, so that each peak is its own.
        const pid_t child = fork();
        if (child == 0)
            return tembrel::measure(seconds);
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0)
            status = 1;
    }
    return status;
}
