#include "platform/riff_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <limits>

#include "platform/byte_order.h"

namespace tembrel {

struct MmioFile {
    std::FILE* stream = nullptr;
    uint64_t size = 0;  // taken at open: chunk sizes are clamped to it
};

namespace {

constexpr uint64_t kMaxPosition = uint64_t(std::numeric_limits<int32_t>::max());

bool tell(MmioFile* file, uint64_t& position) {
    const long at = std::ftell(file->stream);
    if (at < 0)
        return false;
    position = uint64_t(at);
    return true;
}

bool seekTo(MmioFile* file, uint64_t position) {
    return position <= kMaxPosition && std::fseek(file->stream, long(position), SEEK_SET) == 0;
}

bool readExactly(MmioFile* file, uint8_t* out, std::size_t count) {
    return std::fread(out, 1, count, file->stream) == count;
}

uint64_t paddedEnd(uint64_t dataOffset, uint32_t size) {
    return dataOffset + size + (size & 1);
}

struct Header {
    MMCKINFO ck;
    // A "RIFF" or "LIST" chunk too small to hold its type: searches pass over it.
    bool typeMissing = false;
};

// Reads the chunk header at the current position, together with the type of a "RIFF" or
// "LIST" chunk. `limit` is the end of the parent, or of the file: the header must end
// there at the latest, and data declared beyond it is clamped to it.
bool readHeader(MmioFile* file, uint64_t limit, Header& out) {
    uint64_t start = 0;
    if (!tell(file, start) || start + 8 > limit)
        return false;
    std::array<uint8_t, 8> header{};
    if (!readExactly(file, header.data(), header.size()))
        return false;
    const uint64_t dataOffset = start + 8;
    if (dataOffset > kMaxPosition)
        return false;
    Header found;
    found.ck.ckid = bytes::readLE32(header);
    found.ck.cksize = bytes::readLE32(std::span(header).subspan(4));
    found.ck.dwDataOffset = uint32_t(dataOffset);
    const auto present =
        uint32_t(std::min<uint64_t>(limit - dataOffset, std::numeric_limits<uint32_t>::max()));
    // Stream writers leave a RIFF size of 0 when they cannot seek back to fill it in.
    const bool unsized = found.ck.ckid == FOURCC_RIFF && found.ck.cksize == 0;
    if (found.ck.cksize > present || (unsized && present > 0)) {
        found.ck.cksize = present;
        found.ck.dwFlags |= MMIO_CLAMPED;
    }
    if (found.ck.ckid == FOURCC_RIFF || found.ck.ckid == FOURCC_LIST) {
        std::array<uint8_t, 4> type{};
        if (found.ck.cksize < 4)
            found.typeMissing = true;
        else if (readExactly(file, type.data(), type.size()))
            found.ck.fccType = bytes::readLE32(type);
        else
            return false;
    }
    out = found;
    return true;
}

bool wanted(const Header& candidate, const MMCKINFO& sought, uint32_t flags) {
    if (candidate.typeMissing)
        return false;
    const MMCKINFO& ck = candidate.ck;
    if (flags & MMIO_FINDRIFF)
        return ck.ckid == FOURCC_RIFF && ck.fccType == sought.fccType;
    if (flags & MMIO_FINDLIST)
        return ck.ckid == FOURCC_LIST && ck.fccType == sought.fccType;
    return ck.ckid == sought.ckid;
}

}  // namespace

HMMIO mmioOpenA(const char* path, void* /*info*/, uint32_t flags) {
    if (!path || (flags & (MMIO_WRITE | MMIO_READWRITE)))
        return nullptr;
    // Non-blocking so that a named pipe cannot stall the open; only regular files pass.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "rb");
    if (!stream) {
        close(fd);
        return nullptr;
    }
    auto* file = new MmioFile{stream, uint64_t(st.st_size)};
    return file;
}

uint32_t mmioDescend(HMMIO file, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags) {
    if (!file || !ck)
        return MMIOERR_INVALIDPARAM;
    uint64_t start = 0;
    if (!tell(file, start))
        return MMIOERR_CANNOTSEEK;

    uint64_t limit = file->size;
    if (parent) {
        limit = std::min<uint64_t>(limit, uint64_t(parent->dwDataOffset) + parent->cksize);
        if (start < parent->dwDataOffset)
            return MMIOERR_CHUNKNOTFOUND;
    }

    if (!(flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST))) {
        Header found;
        if (readHeader(file, limit, found) && !found.typeMissing) {
            *ck = found.ck;
            return 0;
        }
        seekTo(file, start);
        return MMIOERR_CHUNKNOTFOUND;
    }

    // Every step moves forward by at least a header, and stops at `limit`.
    for (;;) {
        Header candidate;
        if (!readHeader(file, limit, candidate))
            break;
        if (wanted(candidate, *ck, flags)) {
            *ck = candidate.ck;
            return 0;
        }
        if (!seekTo(file, paddedEnd(candidate.ck.dwDataOffset, candidate.ck.cksize)))
            break;
    }
    seekTo(file, start);
    return MMIOERR_CHUNKNOTFOUND;
}

uint32_t mmioAscend(HMMIO file, MMCKINFO* ck, uint32_t /*flags*/) {
    if (!file || !ck)
        return MMIOERR_INVALIDPARAM;
    const uint64_t end = paddedEnd(ck->dwDataOffset, ck->cksize);
    // The pad byte after an odd-sized last chunk is often missing from files; beyond
    // that the chunk does not lie in this file.
    if (end > file->size + 1 || !seekTo(file, end))
        return MMIOERR_CANNOTSEEK;
    return 0;
}

int32_t mmioRead(HMMIO file, void* buffer, int32_t count) {
    if (!file || count < 0 || (count > 0 && !buffer))
        return -1;
    const std::size_t got = std::fread(buffer, 1, std::size_t(count), file->stream);
    if (got < std::size_t(count) && std::ferror(file->stream)) {
        std::clearerr(file->stream);
        return -1;
    }
    return int32_t(got);
}

int32_t mmioSeek(HMMIO file, int32_t offset, int origin) {
    if (!file)
        return -1;
    int64_t base = 0;
    switch (origin) {
        case SEEK_SET:
            break;
        case SEEK_CUR: {
            uint64_t at = 0;
            if (!tell(file, at))
                return -1;
            base = int64_t(at);
            break;
        }
        case SEEK_END:
            base = int64_t(file->size);
            break;
        default:
            return -1;
    }
    const int64_t target = base + offset;
    if (target < 0 || !seekTo(file, uint64_t(target)))
        return -1;
    return int32_t(target);
}

uint32_t mmioClose(HMMIO file, uint32_t /*flags*/) {
    if (file) {
        std::fclose(file->stream);
        delete file;
    }
    return 0;
}

}  // namespace tembrel
