// Buffered reading of RIFF files with chunk navigation, under the names and results of
// the Windows multimedia file I/O calls the WAV source is written against.
//
// Files cut short (an interrupted download or copy) and files written to a stream whose
// sizes were never fixed up declare chunks larger than the bytes present. Such a chunk is
// clamped: its cksize is what the file (or the parent chunk) really holds, and
// MMIO_CLAMPED is set in its dwFlags. A "RIFF" size of 0 with bytes behind it means "to
// the end of the file" (or of the parent). A search never looks outside the parent chunk it is
// given nor past the end of the file. Only reading is supported.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace tembrel {

using FOURCC = uint32_t;

// Four characters as stored in a file, first character in the lowest byte.
constexpr FOURCC mmioFOURCC(char a, char b, char c, char d) {
    return FOURCC(uint8_t(a)) | FOURCC(uint8_t(b)) << 8 | FOURCC(uint8_t(c)) << 16 |
           FOURCC(uint8_t(d)) << 24;
}

inline constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
inline constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');

struct MMCKINFO {
    FOURCC ckid = 0;
    uint32_t cksize = 0;        // data bytes, without the pad byte of an odd size
    FOURCC fccType = 0;         // form or list type of a "RIFF" or "LIST" chunk
    uint32_t dwDataOffset = 0;  // file offset of the data (of the form type for RIFF/LIST)
    uint32_t dwFlags = 0;       // MMIO_CLAMPED when cksize was cut to the bytes present
};

// Set in MMCKINFO::dwFlags by mmioDescend when the declared size ran past the end of the
// file or of the parent and cksize was cut to the bytes present.
inline constexpr uint32_t MMIO_CLAMPED = 0x00000001;

// mmioOpenA flags.
inline constexpr uint32_t MMIO_READ = 0x00000000;
inline constexpr uint32_t MMIO_WRITE = 0x00000001;
inline constexpr uint32_t MMIO_READWRITE = 0x00000002;
inline constexpr uint32_t MMIO_ALLOCBUF = 0x00010000;

// mmioDescend flags.
inline constexpr uint32_t MMIO_FINDCHUNK = 0x0010;
inline constexpr uint32_t MMIO_FINDRIFF = 0x0020;
inline constexpr uint32_t MMIO_FINDLIST = 0x0040;

// Non-zero results of mmioDescend and mmioAscend.
inline constexpr uint32_t MMIOERR_CANNOTREAD = 261;
inline constexpr uint32_t MMIOERR_CANNOTSEEK = 263;
inline constexpr uint32_t MMIOERR_CHUNKNOTFOUND = 265;
inline constexpr uint32_t MMIOERR_INVALIDPARAM = 267;

struct MmioFile;
using HMMIO = MmioFile*;

// Opens a regular file for buffered reading; null on failure, for anything that is not
// a regular file, and for any writing mode.
HMMIO mmioOpenA(const char* path, void* info, uint32_t flags);

// Without parent and flags: reads the chunk header at the current position into `ck`
// (for "RIFF" and "LIST" also the type) and leaves the file at the chunk's data (after
// the type). With MMIO_FINDCHUNK (MMIO_FINDRIFF, MMIO_FINDLIST): searches from the
// current position for the first chunk whose id is ck->ckid ("RIFF" or "LIST" with type
// ck->fccType), skipping the data of every other chunk padded to an even length; with a
// parent the search stays inside it. A "RIFF" or "LIST" chunk too small for its type is
// skipped by a search and refused when read directly. Returns 0 when found; otherwise
// non-zero and the file stands where it stood.
uint32_t mmioDescend(HMMIO file, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags);

// Moves to the end of the chunk, padded to an even length. Non-zero on failure.
uint32_t mmioAscend(HMMIO file, MMCKINFO* ck, uint32_t flags);

// Reads up to `count` bytes: the count read, 0 at the end of the file, -1 on failure.
int32_t mmioRead(HMMIO file, void* buffer, int32_t count);

// Moves to `offset` from the start (SEEK_SET), the current position (SEEK_CUR) or the
// end (SEEK_END). The new position, or -1 on failure (a negative position or one that
// does not fit 31 bits). A position past the end is allowed; reading there gives 0.
int32_t mmioSeek(HMMIO file, int32_t offset, int origin);

// Closes the file; harmless on null. Returns 0.
uint32_t mmioClose(HMMIO file, uint32_t flags);

struct MmioCloser {
    void operator()(MmioFile* file) const { mmioClose(file, 0); }
};
// Owns an open file and closes it on destruction.
using MmioHandle = std::unique_ptr<MmioFile, MmioCloser>;

}  // namespace tembrel
