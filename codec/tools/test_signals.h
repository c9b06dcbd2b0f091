// Synthetic test material for measuring the codec: music-like (harmonic notes, bass, decaying
// noise hits) and speech-like (pulse train through moving formants, with unvoiced noise and
// pauses). Deterministic, so that figures are comparable from run to run.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace tembrel::tvq::signals {

class Lcg {
  public:
    explicit Lcg(uint32_t seed) : state_(seed) {}
    float uniform() {  // -1 .. 1
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<int32_t>(state_) * (1.0f / 2147483648.0f);
    }

  private:
    uint32_t state_;
};

// `channels` x `frames` samples, channel-major, 16-bit scale.
inline std::vector<float> music(int rate, int channels, int frames, uint32_t seed = 1) {
    std::vector<float> out(static_cast<size_t>(channels) * frames, 0.0f);
    Lcg rng(seed);
    const double pi = 3.14159265358979323846;
    const double notes[] = {220.0, 261.6, 329.6, 392.0, 293.7, 349.2, 440.0, 246.9};
    const int noteLength = rate / 2;
    for (int ch = 0; ch < channels; ++ch) {
        double phase[3] = {0, 0, 0};
        float hit = 0.0f;
        for (int i = 0; i < frames; ++i) {
            const int note = i / noteLength;
            const double t = (i % noteLength) / static_cast<double>(rate);
            const double attack = std::min(1.0, t * 50.0) * std::exp(-1.5 * t);
            double v = 0.0;
            for (int voice = 0; voice < 2; ++voice) {
                const double f = notes[(note + voice * 3 + ch) % 8] * (voice + 1);
                phase[voice] += 2.0 * pi * f / rate;
                for (int h = 1; h <= 8 && f * h < rate / 2.0; ++h) {
                    v += 2500.0 / h * attack * std::sin(h * phase[voice] + 0.3 * h);
                }
            }
            phase[2] += 2.0 * pi * 55.0 * (1 + note % 3) / rate;
            v += 4000.0 * std::sin(phase[2]);
            if (i % (rate / 4) == rate / 8) {
                hit = 6000.0f;
            }
            v += hit * rng.uniform();
            hit *= 0.9990f;
            out[static_cast<size_t>(ch) * frames + i] = static_cast<float>(v);
        }
    }
    return out;
}

inline std::vector<float> speech(int rate, int channels, int frames, uint32_t seed = 2) {
    std::vector<float> out(static_cast<size_t>(channels) * frames, 0.0f);
    Lcg rng(seed);
    const double pi = 3.14159265358979323846;
    const int syllable = rate / 5;
    for (int ch = 0; ch < channels; ++ch) {
        double phase = 0.0;
        double y1[3] = {0, 0, 0}, y2[3] = {0, 0, 0};
        for (int i = 0; i < frames; ++i) {
            const int s = i / syllable;
            const double t = (i % syllable) / static_cast<double>(syllable);
            const bool pause = s % 7 == 6;
            const bool unvoiced = s % 4 == 3;
            const double f0 = 110.0 + 60.0 * std::sin(0.7 * i / rate * 2 * pi) + 20.0 * (ch);
            phase += f0 / rate;
            double source = 0.0;
            if (phase >= 1.0) {
                phase -= 1.0;
                source = unvoiced ? 0.0 : 12000.0;
            }
            if (unvoiced) {
                source = 1500.0 * rng.uniform();
            }
            const double env = pause ? 0.0 : std::sin(pi * t);
            const double formants[3] = {500.0 + 300.0 * ((s * 3) % 4), 1500.0 + 400.0 * (s % 3),
                                        2500.0 + 200.0 * (s % 2)};
            double v = 0.0;
            for (int f = 0; f < 3; ++f) {
                const double fc = std::min(formants[f], rate * 0.45);
                const double r = 0.97;
                const double a1 = 2.0 * r * std::cos(2.0 * pi * fc / rate);
                const double a2 = -r * r;
                const double y = source * env * (1.0 - r) + a1 * y1[f] + a2 * y2[f];
                y2[f] = y1[f];
                y1[f] = y;
                v += y / (f + 1);
            }
            out[static_cast<size_t>(ch) * frames + i] = static_cast<float>(v);
        }
    }
    return out;
}

}  // namespace tembrel::tvq::signals
