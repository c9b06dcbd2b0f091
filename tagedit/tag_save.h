// Saving the tag editor's texts: the edited texts are converted and checked first, then
// a whole new copy of the file is written beside it (under "~NAME", "~~NAME", ...), read
// back, and renamed over it. The file is never written in place, and at every moment one
// complete file has its name.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/safe_replace.h"
#include "tagedit/header_texts.h"
#include "tagedit/text_fields.h"

namespace tembrel::tagedit {

inline constexpr std::string_view kNoTemporaryMessage =
    "一時ファイルが作れません：ファイルが多すぎるか、ファイル名が長すぎます";
inline constexpr std::string_view kWriteFailedMessage =
    "書き込みエラー：容量不足、読込専用、ファイル演奏中";
inline constexpr std::string_view kReplaceFailedMessage =
    "ファイル変更エラー：ファイルがロックされています";

enum class SaveOutcome {
    Saved,
    TextRefused,      // an edited text cannot be stored; nothing was written
    NoTemporaryName,  // no temporary file could be made: every name taken or too long
    WriteFailed,      // the new copy could not be made; the file is unchanged
    ReplaceFailed,    // the new copy could not take the file's name; the file is unchanged
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::Saved;
    std::string message;  // what the user is shown; empty when saved
    std::string why;      // the cause, in a few words, for a terminal or a log
    bool ok() const { return outcome == SaveOutcome::Saved; }
};

// What the user changed: the new UTF-8 text of each edited field (empty removes its
// chunk), indexed as StoredTexts. A field left as nothing keeps its stored bytes.
using TextEdits = std::array<std::optional<std::string>, kTextCount>;

// `stored` with the edits applied: each edited text converted strictly to CP932. A text
// with a character CP932 lacks, or longer than kMaxTextBytes once converted, is refused
// with a message that names its field and the character.
std::optional<SaveResult> applyEdits(const TextEdits& edits, StoredTexts& stored);

// The temporary names the editor prefers for `name` in `folder` ("" or ending in "/"):
// one tilde more each time, as long as the name and the path stay within the limits.
std::vector<std::string> temporaryNames(const std::string& folder, const std::string& name);

// Writes the source (open for reading) with `texts` into `temporary`: the rewritten
// header, then the frame data copied. The number of frame data bytes copied, or nothing
// with `why` set.
std::optional<uint64_t> rewriteHeader(int source, SafeReplace& temporary, const StoredTexts& texts,
                                      std::string& why);

// Reads a written file back with the project's own header reader: its header must walk
// and parse, hold exactly `texts`, and be followed by `frameDataLength` bytes.
bool checkWritten(const std::string& path, const StoredTexts& texts, uint64_t frameDataLength,
                  std::string& why);

// Saves `edits` into the file at `path` as `read` found it (nullptr when reading failed;
// the save then fails with the write message). A symbolic link is followed: the file it
// points at is replaced, and the link stays. The file keeps its permission bits, owner
// and group. A file changed since it was read, or with other hard links (they would keep
// the old texts), is not saved.
SaveResult saveHeaderTexts(const std::string& path, const HeaderTexts* read,
                           const TextEdits& edits);

}  // namespace tembrel::tagedit
