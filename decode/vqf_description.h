// What a VQF file's header says, for showing it and for carrying its texts into other
// formats: the version id, the "COMM" values, the text chunks, the other chunk ids, and
// the frame layout the decoder library derives from them.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tembrel {

struct VqfTextChunk {
    std::string id;    // a user text, or the track or year held as text (text_chunks.h)
    std::string text;  // the stored bytes, CP932 where Japanese
};

struct VqfDescription {
    std::string versionId;
    bool hasComm = false;  // false: the four values below are 0
    int32_t channelMode = 0;
    int32_t bitRate = 0;       // kbit/s
    int32_t samplingRate = 0;  // kHz
    int32_t securityLevel = 0;
    std::vector<VqfTextChunk> texts;    // in id order
    std::vector<std::string> otherIds;  // every top-level id but "COMM" and the texts
    std::vector<std::string> scndIds;   // ids inside "SCND", when there is one
    // From the decoder library; 0 when it refused the header or was in use.
    int32_t frameBits = 0;
    int64_t frameCount = 0;  // whole frames after "DATA"
};

// Reads the header through the header manager, without starting the decoder. nullopt
// for a file that is not a VQF file (refused version id, header cut short, no "DATA").
std::optional<VqfDescription> readVqfHeader(const std::string& path);

// readVqfHeader, and the frame length and count from the decoder library. The decoder is
// process-wide: call this while no VQF source is open, or the frame fields stay 0.
std::optional<VqfDescription> describeVqf(const std::string& path);

// The text of `id` ("NAME" and so on); empty when the header has none.
std::string vqfText(const VqfDescription& description, std::string_view id);

// Shows the description as "  key: value" lines, texts converted from CP932 to UTF-8.
void printVqfDescription(const VqfDescription& description, std::ostream& out);

}  // namespace tembrel
