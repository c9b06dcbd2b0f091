// Puts the VQF stream on a bit file: the header chunk and "DATA", then each encoded
// frame as bit fields whose widths come from the encoder library's tables.
#pragma once

#include "tvq/tvq_records.h"
#include "twinvq/bit_file.h"
#include "vqfheader/chunk.h"

namespace tembrel {

class FrameWriter {
  public:
    // `conf` and `vectors` are the encoder's records for the file, fetched right after
    // the library is initialised. A short-block frame lets the library update them in
    // place, for the rest of the file.
    FrameWriter(ConfInfo& conf, VectorInfo& vectors) : conf_(conf), vectors_(vectors) {}

    // The header chunk (12-character id, 32-bit data length, data) and "DATA". Returns
    // 0, or 1 without writing anything when the id is not 12 characters long (a reader
    // could not find the length) or the data are too long for the length field.
    static int writeHeaderChunk(BitFile* file, const CChunk& header);

    // One frame. A value too wide for its field is written as its low-order bits and
    // reported with one line on standard output.
    void writeFrame(FrameIndex& index, BitFile* file);

  private:
    ConfInfo& conf_;
    VectorInfo& vectors_;
};

}  // namespace tembrel
