// Reads the VQF stream back from a bit file: the header chunk and "DATA", then frames
// laid out exactly as the frame writer puts them, with the decoder library's tables.
#pragma once

#include <memory>

#include "tvq/tvq_records.h"
#include "twinvq/bit_file.h"
#include "vqfheader/chunk_chunk.h"

namespace tembrel {

class FrameReader {
  public:
    // The header chunk, with the file standing on the first bit of the first frame; or
    // nullptr for a version id the decoder refuses, a header cut short, a length with
    // the top bit set or beyond the end of the file, or a missing "DATA" mark.
    static std::unique_ptr<CChunkChunk> readHeaderChunk(BitFile* file);

    // Fetches the decoder's tables for the stream. 0 ready, 1 version id refused.
    // Called after the decoder is initialised and again after every rewind.
    int prepareDecoding(const HeaderInfo& info);

    // True when a whole frame of exactly the fixed frame length was read into `index`.
    bool readFrame(FrameIndex& index, BitFile* file);

    // Moves over `n` frames without reading them; the bit file's seek result.
    int skipFrames(BitFile* file, int n);

    const ConfInfo& conf() const { return conf_; }

  private:
    ConfInfo conf_{};
    VectorInfo vectors_{};
};

}  // namespace tembrel
