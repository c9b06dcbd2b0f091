#include "bench/audio_clip.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>

#include "platform/byte_order.h"

namespace tembrel::bench {

std::optional<AudioClip> readWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    const std::span<const uint8_t> all(bytes);
    if (all.size() < 12 || std::memcmp(all.data(), "RIFF", 4) != 0 ||
        std::memcmp(all.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;

    AudioClip clip;
    int bits = 0;
    bool haveFormat = false;
    std::size_t pos = 12;
    while (pos + 8 <= all.size()) {
        const auto id = all.subspan(pos, 4);
        const std::size_t size = bytes::readLE32(all.subspan(pos + 4, 4));
        const std::size_t body = pos + 8;
        const std::size_t available =
            std::min(size, all.size() - body);  // a cut-off data chunk still reads
        if (std::memcmp(id.data(), "fmt ", 4) == 0 && available >= 16) {
            const auto fmt = all.subspan(body, 16);
            if (bytes::readLE16(fmt) != 1)
                return std::nullopt;  // PCM only
            clip.channels = bytes::readLE16(fmt.subspan(2));
            clip.rate = int(bytes::readLE32(fmt.subspan(4)));
            bits = bytes::readLE16(fmt.subspan(14));
            haveFormat = true;
        } else if (std::memcmp(id.data(), "data", 4) == 0) {
            if (!haveFormat || clip.channels < 1 || clip.rate < 1 || (bits != 8 && bits != 16))
                return std::nullopt;
            const std::size_t width = std::size_t(bits / 8);
            const std::size_t count =
                available / width / std::size_t(clip.channels) * std::size_t(clip.channels);
            clip.samples.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                clip.samples[i] = bits == 16
                                      ? float(bytes::readSampleLE16(all.subspan(body + 2 * i)))
                                      : float((int(all[body + i]) - 128) * 256);
            }
            return clip;
        }
        if (size > all.size() - body)
            break;
        pos = body + size + (size & 1);
    }
    return std::nullopt;
}

bool writeWav(const std::string& path, const AudioClip& clip) {
    if (clip.channels < 1 || clip.rate < 1)
        return false;
    const uint32_t dataSize = uint32_t(clip.samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + dataSize);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    bytes::appendLE(out, 36 + dataSize, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    bytes::appendLE(out, 16, 4);
    bytes::appendLE(out, 1, 2);
    bytes::appendLE(out, uint32_t(clip.channels), 2);
    bytes::appendLE(out, uint32_t(clip.rate), 4);
    bytes::appendLE(out, uint32_t(clip.rate * clip.channels * 2), 4);
    bytes::appendLE(out, uint32_t(clip.channels * 2), 2);
    bytes::appendLE(out, 16, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    bytes::appendLE(out, dataSize, 4);
    for (float s : clip.samples) {
        const long v = std::clamp(std::lround(s), -32768L, 32767L);
        bytes::appendLE(out, uint32_t(uint16_t(int16_t(v))), 2);
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    return bool(file);
}

void quantiseTo16Bit(AudioClip& clip) {
    for (float& s : clip.samples)
        s = float(std::clamp(std::lround(s), -32768L, 32767L));
}

AudioClip shiftedClip(const AudioClip& clip, long offset, std::size_t frames) {
    AudioClip out{clip.rate, clip.channels, {}};
    const std::size_t ch = std::size_t(std::max(clip.channels, 0));
    out.samples.assign(frames * ch, 0.0f);
    const long available = long(clip.frames());
    for (std::size_t i = 0; i < frames; ++i) {
        const long from = long(i) + offset;
        if (from < 0 || from >= available)
            continue;
        std::copy_n(clip.samples.begin() + from * long(ch), ch, out.samples.begin() + long(i * ch));
    }
    return out;
}

std::vector<float> monoMix(const AudioClip& clip) {
    std::vector<float> mono(clip.frames(), 0.0f);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        float sum = 0;
        for (int c = 0; c < clip.channels; ++c)
            sum += clip.samples[i * clip.channels + c];
        mono[i] = sum / float(clip.channels);
    }
    return mono;
}

}  // namespace tembrel::bench
