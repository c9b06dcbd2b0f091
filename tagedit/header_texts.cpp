#include "tagedit/header_texts.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tembrel::tagedit {
namespace {

// Reads exactly `out.size()` bytes from `offset`; false at an error or the end of file.
bool readAt(int fd, std::span<uint8_t> out, off_t offset) {
    while (!out.empty()) {
        const ssize_t n = pread(fd, out.data(), out.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out = out.subspan(std::size_t(n));
        offset += n;
    }
    return true;
}

}  // namespace

FileIdentity FileIdentity::of(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, int64_t(st.st_mtim.tv_sec), st.st_mtim.tv_nsec};
}

HeaderTexts textsOfHeader(std::span<const uint8_t> bytes, const HeaderWalk& walk) {
    HeaderTexts result;
    uint64_t textBytes = 0;
    for (const ChunkSpan& chunk : walk.chunks) {
        const std::optional<std::size_t> index = textIndex(chunk.id());
        if (!index)
            continue;
        textBytes += kChunkHeadBytes + chunk.size;
        if (!result.texts[*index]) {
            const auto data = bytes.subspan(chunk.dataOffset(), chunk.size);
            result.texts[*index] = std::string(data.begin(), data.end());
        }
    }
    // The walk has checked that every chunk lies inside the body.
    result.keptHeaderBytes = uint32_t(walk.bodySize - textBytes);
    return result;
}

std::optional<HeaderBytes> readHeaderBytes(int fd, std::string& why) {
    HeaderBytes header;
    if (fstat(fd, &header.status) != 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(header.status.st_mode)) {
        why = S_ISDIR(header.status.st_mode) ? "is a folder" : "not a regular file";
        return std::nullopt;
    }
    header.bytes.resize(kHeadBytes);
    if (header.status.st_size < off_t(kHeadBytes) || !readAt(fd, header.bytes, 0)) {
        why = "not a VQF file (too short)";
        return std::nullopt;
    }
    const std::optional<std::size_t> length = headerLength(header.bytes);
    if (!length) {
        why = "not a VQF file";
        return std::nullopt;
    }
    if (uint64_t(*length) > uint64_t(header.status.st_size)) {
        why = "the header says it is longer than the file";
        return std::nullopt;
    }
    header.bytes.resize(*length);
    if (!readAt(fd, std::span(header.bytes).subspan(kHeadBytes), off_t(kHeadBytes))) {
        why = "cannot read the header";
        return std::nullopt;
    }
    std::optional<HeaderWalk> walk = walkHeader(header.bytes);
    if (!walk) {
        why = "the header's chunk sizes disagree, or \"DATA\" does not follow it";
        return std::nullopt;
    }
    header.walk = std::move(*walk);
    return header;
}

ReadResult readHeaderTexts(const std::string& path) {
    // Non-blocking, so that a FIFO under a ".vqf" name cannot hang the open.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {std::nullopt, std::strerror(errno)};
    ReadResult result;
    std::optional<HeaderBytes> header = readHeaderBytes(fd, result.why);
    close(fd);
    if (header) {
        result.texts = textsOfHeader(header->bytes, header->walk);
        result.texts->identity = FileIdentity::of(header->status);
    }
    return result;
}

}  // namespace tembrel::tagedit
