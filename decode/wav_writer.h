// Writes a PCM RIFF WAVE file: "fmt ", an optional "LIST" "INFO" chunk with text
// fields, and "data". The sizes are fixed up when the file is finished, so the PCM can
// be streamed in without knowing its length beforehand.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/wave_format.h"

namespace tembrel {

// One field of the "INFO" list: a four-character id such as "INAM" and its text, bytes
// stored unchanged (CP932 where Japanese).
struct RiffInfoText {
    std::string id;
    std::string text;
};

class WavWriter {
  public:
    WavWriter() = default;
    ~WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates (or truncates) `path` and writes everything up to the PCM bytes. Fields
    // with an empty text are left out; without any field there is no "LIST" chunk.
    // `format` must describe integer PCM. False when the file cannot be created or written.
    bool open(const std::string& path, const WAVEFORMATEX& format,
              std::span<const RiffInfoText> info = {});
    // Appends PCM bytes. False on a write error, or when the "data" chunk would outgrow
    // the 32-bit RIFF sizes.
    bool write(std::span<const uint8_t> pcm);
    // Pads the data to an even length, fixes the "RIFF" and "data" sizes and closes the
    // file. False when anything written was lost; the file is closed either way.
    bool finish();

    uint64_t dataBytes() const { return dataBytes_; }
    // True when write() refused bytes beyond what the RIFF sizes can describe.
    bool tooLong() const { return tooLong_; }

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    uint64_t dataSizeOffset_ = 0;  // file offset of the "data" chunk's size field
    uint64_t dataBytes_ = 0;
    bool failed_ = false;
    bool tooLong_ = false;
};

// The bytes of a "LIST" "INFO" chunk holding the non-empty fields; empty when there is
// none. Each field's text is stored with a terminating NUL and padded to an even length.
std::vector<uint8_t> riffInfoChunk(std::span<const RiffInfoText> info);

}  // namespace tembrel
