// Bit-level file handle for the VQF stream: fields of 0 to 32 bits packed most
// significant bit first with no alignment, moved to and from the file in 1024-byte blocks.
// Handles come from a fixed table of 50; the VQF source and the encoder output can be
// open at the same time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

namespace tembrel {

class BitFile {
  public:
    static constexpr int kBlockBytes = 1024;
    static constexpr int kBlockBits = kBlockBytes * 8;
    static constexpr int kMaxOpenFiles = 50;

    // Seek origins.
    static constexpr int kFromStart = 0;
    static constexpr int kFromCurrent = 1;
    static constexpr int kFromEnd = 2;

    // Opens `path` with the stdio `mode` ("wb" to write, "rb" to read); a mode containing
    // "w" makes a write handle. `mode` is kept, not copied: pass a literal. Returns
    // nullptr when the file cannot be opened. A 51st handle ends the process.
    static BitFile* open(const char* path, const char* mode);
    // Writes the filled part of the last block (write mode), closes the stream and frees
    // the slot. Returns 0, or 1 when any write or the close itself failed.
    static int close(BitFile* file);

    // Writes the `n` low-order bits of `value`, most significant first (0 <= n <= 32).
    // Returns 1 when `value` >= 2^n (the bits are written all the same), else 0.
    static int putBits(int32_t value, int n, BitFile* file);
    // Reads up to `n` bits into `value`, the first bit read landing in bit n - 1; bits
    // missing at the end of the file count as 0. Returns the number of bits read;
    // n > 32 or negative returns 0 and leaves `value` alone.
    static int getBits(int32_t* value, int n, BitFile* file);
    // Writes `n` bytes as 8-bit fields.
    static void putChars(const char* text, int n, BitFile* file);
    static void putChars(std::span<const uint8_t> bytes, BitFile* file);
    // Reads up to `n` bytes into `buffer` (room for n + 1), stopping at the first field
    // that comes back short; stores a NUL after them and returns the count.
    static int getChars(char* buffer, int n, BitFile* file);
    // Read mode only. Returns 0 done, 1 offset out of range for the origin, 2 write
    // handle or unknown origin; anything else is the stream seek's failure code, and
    // then the handle is left as it was.
    static int seek(BitFile* file, int64_t bitOffset, int origin);

    // Absolute bit position from the start of the file, or -1 when it cannot be told.
    static int64_t tell(const BitFile* file);
    // Size of the file in bytes, or -1 when it cannot be measured.
    static int64_t fileSize(const BitFile* file);

    // True once a write, flush or close of this handle has failed.
    bool writeFailed() const { return writeFailed_; }
    bool isWriteMode() const { return writeMode_; }

    int32_t bitPos = 0;     // bit position inside the current block, 0 .. 8191
    int32_t validBits = 0;  // read mode: bits of the current block that came from the file
    int32_t loaded = 0;     // read mode: 1 when the block holds data read from the file

  private:
    void putBit(int bit);
    // 1 bit read into `bit`, or 0 at the end of the data.
    int getBit(int& bit);
    void flushBlock(int bytes);

    uint8_t block_[kBlockBytes] = {};
    const char* mode_ = nullptr;
    std::FILE* stream_ = nullptr;
    int32_t slot_ = -1;
    bool writeMode_ = false;
    bool writeFailed_ = false;
};

// Closes a handle that is still open when its owner goes away; use BitFile::close
// (after release()) where the result matters.
struct BitFileCloser {
    void operator()(BitFile* file) const { BitFile::close(file); }
};
using UniqueBitFile = std::unique_ptr<BitFile, BitFileCloser>;

}  // namespace tembrel
