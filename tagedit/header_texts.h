// Reading the six texts of a VQF file for the tag editor: one record per file, holding
// the texts as stored and what the save needs to tell that the file has not changed
// since.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tagedit/header_walk.h"
#include "tagedit/text_fields.h"

namespace tembrel::tagedit {

// Which file, and in which state: a change of any of these between reading and saving
// means the file was replaced or written meanwhile.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t mtimeSeconds = 0;
    long mtimeNanoseconds = 0;

    static FileIdentity of(const struct stat& st);
    bool operator==(const FileIdentity&) const = default;
};

struct HeaderTexts {
    // The first chunk of each id, whole (not cut at a NUL or at any length).
    StoredTexts texts;
    // The header's body size less the head and data of every text chunk (duplicates
    // included): what stays of the header besides the texts.
    uint32_t keptHeaderBytes = 0;
    FileIdentity identity;
};

// The texts of a walked header (`bytes` as walked).
HeaderTexts textsOfHeader(std::span<const uint8_t> bytes, const HeaderWalk& walk);

// The header of an open file, read in full up to "DATA" and walked.
struct HeaderBytes {
    std::vector<uint8_t> bytes;
    HeaderWalk walk;
    struct stat status {};
};
// Nothing, with `why` set, unless `fd` is a regular file whose header walks cleanly.
std::optional<HeaderBytes> readHeaderBytes(int fd, std::string& why);

struct ReadResult {
    std::optional<HeaderTexts> texts;
    std::string why;  // for a failure: what was wrong, in a few words
    bool ok() const { return texts.has_value(); }
};

inline constexpr std::string_view kReadFailedMessage = "読み込めません。演奏中かもしれません。";

// Reads the texts of the VQF file at `path` (a symbolic link is followed).
ReadResult readHeaderTexts(const std::string& path);

}  // namespace tembrel::tagedit
