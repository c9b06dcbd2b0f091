// PCM source for FLAC and Ogg (Vorbis, Opus) files, decoded by libsndfile. FLAC hands
// out its samples at their own width (8, 16 or 24 bits); Vorbis and Opus, which store no
// width, hand out the decoder's floats (32-bit IEEE float).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/sound_file.h"
#include "platform/wave_format.h"
#include "sources/audio_source.h"

namespace tembrel {

class SoundFileSource final : public AudioSource {
  public:
    SoundFileSource() = default;
    ~SoundFileSource() override = default;
    SoundFileSource(const SoundFileSource&) = delete;
    SoundFileSource& operator=(const SoundFileSource&) = delete;

    // Sample frames the file announces, in bytes.
    int32_t length() override { return length_; }
    const WAVEFORMATEX* format() override { return &format_; }
    // Refuses what is no FLAC or Ogg file, and (with a reason) one that holds no audio
    // frames or more than fits a length.
    bool open(const char* path) override;
    bool rewind() override;
    // The end of the decodable audio is the end of the source, also where the file is
    // damaged further on.
    bool read(std::span<uint8_t> buffer, uint32_t& bytesRead) override;
    bool skip(uint32_t milliseconds, uint32_t& byteCounter) override;
    bool close() override;
    bool decodesToFloat() const override { return floats_; }
    std::string_view refusal() const override { return refusal_; }
    // A FLAC file's stream header states its length; an Ogg file's is taken from its
    // last page, so whatever of it is there is the whole.
    std::optional<AnnouncedLength> announcedLength() override;

    // Sample frames decoded per step.
    static constexpr uint32_t kStepFrames = 4096;

  private:
    // Decodes the next step into pcm_; false at the end.
    bool decodeStep();

    SoundFile file_;
    WAVEFORMATEX format_{};
    int32_t length_ = 0;
    bool floats_ = false;
    bool lengthStated_ = false;  // a FLAC stream header's length, not counted by decoding
    std::string refusal_;
    std::vector<uint8_t> pcm_;   // one decoded step, as handed out
    std::size_t pending_ = 0;    // bytes at the end of pcm_ not yet handed out
    std::vector<int32_t> ints_;  // libsndfile's output before packing
    std::vector<float> floatsIn_;
};

}  // namespace tembrel
