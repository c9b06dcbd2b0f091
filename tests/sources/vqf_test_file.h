// Writes VQF files for the VQF source tests the way the encoder driver does: the header
// from a setup record, then the encoder library's frames through the frame writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tembrel::test {

struct VqfConfig {
    int khz;  // 8, 11, 16, 22 or 44
    int channels;
    int kbps;
};

// Every configuration the encoder supports.
const std::vector<VqfConfig>& allVqfConfigs();
// Samples per second for a rate in kHz (11 -> 11025, 22 -> 22050, 44 -> 44100).
uint32_t rateHz(int khz);

struct VqfTexts {
    std::string name, author, comment, copyright, file;
    std::string importFolder = "no-import-folder-here";  // the header writer's import folder
};

// Encodes interleaved 16-bit `samples` as the encoder driver does: the whole frames, one
// frame with the rest padded with zeros, and two silent frames. Returns the number of
// frames written (0 when the encoder refused the configuration).
int writeVqf(const std::string& path, const VqfConfig& config, const std::vector<int16_t>& samples,
             const VqfTexts& texts = {});

// Normalised correlation of interleaved `out` against `ref`, with `out` shifted by `lag`
// sample frames; the alignment tests expect its maximum at lag 0.
double correlation(const std::vector<int16_t>& ref, const std::vector<int16_t>& out, int channels,
                   int lag);

// Exactly `frames` frames of a tone, with no padding frames.
int writeVqfFrames(const std::string& path, const VqfConfig& config, int frames);

}  // namespace tembrel::test
