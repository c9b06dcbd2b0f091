#include "tagedit/tag_save.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/path_names.h"
#include "platform/text_encoding.h"
#include "tagedit/header_rewrite.h"

namespace tembrel::tagedit {
namespace {

constexpr std::size_t kCopyPiece = 256 * 1024;

// Closes a descriptor on every path.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

SaveResult failure(SaveOutcome outcome, std::string why) {
    std::string_view message = kWriteFailedMessage;
    if (outcome == SaveOutcome::NoTemporaryName)
        message = kNoTemporaryMessage;
    else if (outcome == SaveOutcome::ReplaceFailed)
        message = kReplaceFailedMessage;
    return {outcome, std::string(message), std::move(why)};
}

SaveResult writeFailure(std::string why) {
    return failure(SaveOutcome::WriteFailed, std::move(why));
}

std::string refusalMessage(std::size_t index, const text::Cp932Refusal& refusal) {
    const std::string at = "（" + std::to_string(refusal.position + 1) + "文字目）";
    std::string message(textLabel(index));
    if (refusal.malformed)
        return message + "：UTF-8ではない文字があります" + at;
    return message + "：「" + refusal.character + "」はVQFファイルに保存できない文字です" + at;
}

// The file a path names, links followed, so that its temporary file is made beside it.
std::optional<std::string> fileBehind(const std::string& path, std::string& why) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISLNK(st.st_mode))
        return path;
    const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (!resolved) {
        why = std::string("cannot follow the link: ") + std::strerror(errno);
        return std::nullopt;
    }
    return std::string(resolved.get());
}

bool writeAll(SafeReplace& temporary, std::span<const uint8_t> bytes, std::string& why) {
    if (temporary.write(bytes))
        return true;
    why = std::string("cannot write the temporary file: ") + std::strerror(temporary.error());
    return false;
}

// Copies the source from `from` to its end (`size` as it was when its header was read).
bool copyRest(int source, off_t from, off_t size, SafeReplace& temporary, std::string& why) {
    std::vector<uint8_t> buffer(kCopyPiece);
    while (from < size) {
        const std::size_t want = std::size_t(std::min<off_t>(size - from, off_t(buffer.size())));
        const ssize_t got = pread(source, buffer.data(), want, from);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            why = got < 0 ? std::string("cannot read the file: ") + std::strerror(errno)
                          : "the file got shorter while it was copied";
            return false;
        }
        if (!writeAll(temporary, std::span(buffer).first(std::size_t(got)), why))
            return false;
        from += got;
    }
    return true;
}

}  // namespace

std::optional<SaveResult> applyEdits(const TextEdits& edits, StoredTexts& stored) {
    for (std::size_t i = 0; i < kTextCount; ++i) {
        if (!edits[i])
            continue;
        text::StrictCp932 converted = text::utf8ToCp932Strict(*edits[i]);
        if (!converted.ok()) {
            return SaveResult{SaveOutcome::TextRefused, refusalMessage(i, *converted.refusal), ""};
        }
        if (converted.cp932.size() > kMaxTextBytes) {
            return SaveResult{SaveOutcome::TextRefused,
                              std::string(textLabel(i)) + "：長すぎます（" +
                                  std::to_string(converted.cp932.size()) + "バイト、" +
                                  std::to_string(kMaxTextBytes) + "バイトまで）",
                              ""};
        }
        if (converted.cp932.empty())
            stored[i].reset();
        else
            stored[i] = std::move(converted.cp932);
    }
    return std::nullopt;
}

std::vector<std::string> temporaryNames(const std::string& folder, const std::string& name) {
    std::vector<std::string> names;
    for (std::string tildes = "~"; name.size() + tildes.size() <= NAME_MAX &&
                                   folder.size() + name.size() + tildes.size() < PATH_MAX;
         tildes += '~') {
        names.push_back(tildes + name);
    }
    return names;
}

std::optional<uint64_t> rewriteHeader(int source, SafeReplace& temporary, const StoredTexts& texts,
                                      std::string& why) {
    const std::optional<HeaderBytes> header = readHeaderBytes(source, why);
    if (!header)
        return std::nullopt;
    const std::optional<RewrittenHeader> rewritten = rewriteHeaderBytes(header->bytes, texts, why);
    if (!rewritten)
        return std::nullopt;
    const off_t size = header->status.st_size;
    if (!writeAll(temporary, rewritten->bytes, why) ||
        !copyRest(source, off_t(rewritten->frameDataOffset), size, temporary, why))
        return std::nullopt;
    return uint64_t(size) - rewritten->frameDataOffset;
}

bool checkWritten(const std::string& path, const StoredTexts& texts, uint64_t frameDataLength,
                  std::string& why) {
    const Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) {
        why = std::string("cannot read the temporary file back: ") + std::strerror(errno);
        return false;
    }
    const std::optional<HeaderBytes> header = readHeaderBytes(fd.get(), why);
    if (!header) {
        why = "the temporary file reads back wrong: " + why;
        return false;
    }
    const uint64_t written = uint64_t(header->status.st_size) - header->walk.frameDataOffset;
    const bool same = written == frameDataLength && holdsTexts(header->bytes, texts);
    if (!same)
        why = "the temporary file reads back with other texts or another length";
    return same;
}

SaveResult saveHeaderTexts(const std::string& path, const HeaderTexts* read,
                           const TextEdits& edits) {
    if (!read)
        return writeFailure("the file could not be read");
    StoredTexts texts = read->texts;
    if (std::optional<SaveResult> refused = applyEdits(edits, texts))
        return *refused;

    std::string why;
    const std::optional<std::string> file = fileBehind(path, why);
    if (!file)
        return writeFailure(why);
    // No link is followed from here on: the file checked is the file replaced.
    const Descriptor source(open(file->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    struct stat st {};
    if (source.get() < 0 || fstat(source.get(), &st) != 0)
        return writeFailure(std::strerror(errno));
    if (FileIdentity::of(st) != read->identity)
        return writeFailure("the file changed after it was read");
    if (st.st_nlink > 1)
        return writeFailure("the file has other hard links, which would keep the old texts");

    const std::string name(lastElementOf(*file));
    SafeReplace temporary = SafeReplace::create(
        *file, temporaryNames(file->substr(0, file->size() - name.size()), name));
    if (!temporary.ok()) {
        const int error = temporary.error();
        const std::string cause =
            std::string("cannot create a temporary file: ") + std::strerror(error);
        return error == EEXIST || error == ENAMETOOLONG
                   ? failure(SaveOutcome::NoTemporaryName, cause)
                   : writeFailure(cause);
    }
    struct stat made {};
    if (fstat(temporary.fd(), &made) != 0 ||
        ((made.st_uid != st.st_uid || made.st_gid != st.st_gid) &&
         fchown(temporary.fd(), st.st_uid, st.st_gid) != 0))
        return writeFailure(std::string("cannot keep the owner and group: ") +
                            std::strerror(errno));
    const std::optional<uint64_t> frameDataLength =
        rewriteHeader(source.get(), temporary, texts, why);
    if (!frameDataLength)
        return writeFailure(why);
    if (!temporary.finish(uint32_t(st.st_mode) & 07777)) {
        return writeFailure(std::string("cannot write the temporary file: ") +
                            std::strerror(temporary.error()));
    }
    if (!checkWritten(temporary.path(), texts, *frameDataLength, why))
        return writeFailure(why);

    struct stat now {};
    if (stat(file->c_str(), &now) != 0 || FileIdentity::of(now) != read->identity)
        return writeFailure("the file changed while it was saved");
    if (!temporary.commit()) {
        return failure(SaveOutcome::ReplaceFailed,
                       std::string("cannot rename the temporary file over it: ") +
                           std::strerror(temporary.error()));
    }
    return {};
}

}  // namespace tembrel::tagedit
