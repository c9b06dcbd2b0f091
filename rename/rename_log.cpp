#include "rename/rename_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>

#include "platform/text_encoding.h"

namespace tembrel {
namespace {

constexpr std::string_view kHeaderMark = "#run";
constexpr std::string_view kRenameKind = "rename";
constexpr std::string_view kUndoKind = "undo";
constexpr char kHex[] = "0123456789abcdef";

bool isControl(uint8_t b) {
    return b < 0x20 || b == 0x7F;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<std::string_view> splitAt(std::string_view text, char separator) {
    std::vector<std::string_view> out;
    for (;;) {
        const std::size_t at = text.find(separator);
        out.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return out;
        text.remove_prefix(at + 1);
    }
}

std::optional<int> smallNumber(std::string_view text) {
    int value = 0;
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A header line's run, or nothing when the line is no valid header after `runs`.
std::optional<LogRun> parseHeader(std::string_view line, const std::vector<LogRun>& runs) {
    const auto fields = splitAt(line, '\t');
    if (fields.size() < 4 || fields[0] != kHeaderMark)
        return std::nullopt;
    const auto argument = smallNumber(fields[3]);
    if (!argument)
        return std::nullopt;
    LogRun run;
    run.time = std::string(fields[1]);
    run.argument = *argument;
    if (fields[2] == kRenameKind) {
        run.kind = LogRun::Kind::Rename;
        if (*argument > 3)
            return std::nullopt;
    } else if (fields[2] == kUndoKind) {
        // An undo takes back an earlier renaming.
        run.kind = LogRun::Kind::Undo;
        if (*argument < 1 || std::size_t(*argument) > runs.size() ||
            runs[std::size_t(*argument) - 1].kind != LogRun::Kind::Rename)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    return run;
}

std::optional<LogMove> parseMove(std::string_view line) {
    const auto fields = splitAt(line, '\t');
    if (fields.size() != 2)
        return std::nullopt;
    auto from = unescapeLogPath(fields[0]);
    auto to = unescapeLogPath(fields[1]);
    if (!from || !to || !from->starts_with('/') || !to->starts_with('/'))
        return std::nullopt;
    return LogMove{std::move(*from), std::move(*to)};
}

}  // namespace

std::string escapeLogPath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        const auto b = uint8_t(path[i]);
        if (b == '\\') {
            out += "\\\\";
        } else if (b == '\t') {
            out += "\\t";
        } else if (b == '\n') {
            out += "\\n";
        } else if (const std::size_t n = text::utf8CharacterLength(path, i);
                   n > 0 && !isControl(b)) {
            out.append(path.substr(i, n));
            i += n;
            continue;
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
        ++i;
    }
    return out;
}

std::optional<std::string> unescapeLogPath(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isControl(uint8_t(c)))
            return std::nullopt;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'x': {
                const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
                const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
                if (high < 0 || low < 0)
                    return std::nullopt;
                out += char(high << 4 | low);
                i += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return out;
}

ParsedLog parseRenameLog(std::string_view bytes) {
    ParsedLog log;
    std::size_t number = 0;
    for (std::string_view line : splitAt(bytes, '\n')) {
        ++number;
        if (line.empty())
            continue;
        if (line.starts_with('#')) {
            auto run = parseHeader(line, log.runs);
            if (!run) {
                log.badLine = number;
                return log;
            }
            log.runs.push_back(std::move(*run));
            continue;
        }
        auto move = parseMove(line);
        if (!move || log.runs.empty()) {
            log.badLine = number;
            return log;
        }
        log.runs.back().moves.push_back(std::move(*move));
    }
    return log;
}

std::string runHeaderLine(const LogRun& run, std::string_view comment) {
    std::string line(kHeaderMark);
    line += '\t' + run.time + '\t';
    line += run.kind == LogRun::Kind::Rename ? kRenameKind : kUndoKind;
    line += '\t' + std::to_string(run.argument);
    if (!comment.empty())
        line += '\t' + std::string(comment);
    return line + '\n';
}

std::string moveLine(const LogMove& move) {
    return escapeLogPath(move.from) + '\t' + escapeLogPath(move.to) + '\n';
}

std::string logTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[64];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S %z", &local);
    return std::string(buffer, n);
}

RenameLogFile::~RenameLogFile() {
    if (fd_ >= 0)
        close(fd_);  // releases the lock
}

std::string RenameLogFile::open(const std::string& path) {
    // Non-blocking, so that a pipe put in the log's place cannot make the open wait.
    const int fd = ::open(path.c_str(),
                          O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        return errno == ELOOP ? path + " is a symbolic link" : path + ": " + std::strerror(errno);
    }
    struct stat st {};
    std::string error;
    if (fstat(fd, &st) != 0)
        error = path + ": " + std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        error = path + " is not a regular file";
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = path + " is in use by another run";
    else if (fcntl(fd, F_SETFL, O_APPEND) != 0)
        error = path + ": " + std::strerror(errno);
    if (!error.empty()) {
        close(fd);
        return error;
    }
    fd_ = fd;
    if (st.st_size > 0) {
        // A line cut short by a crash must not run into this run's header.
        char last = '\n';
        if (pread(fd_, &last, 1, st.st_size - 1) == 1 && last != '\n' && !append("\n"))
            error = path + ": " + std::strerror(errno);
    } else {
        // A new log must still be there after a crash, as the renames it records will be.
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        const int dir =
            ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0 || fsync(dir) != 0)
            error = path + ": its folder cannot be synced";
        if (dir >= 0)
            close(dir);
    }
    if (!error.empty()) {
        close(fd_);
        fd_ = -1;
    }
    return error;
}

bool RenameLogFile::append(std::string_view line) {
    struct stat st {};
    if (fd_ < 0 || fstat(fd_, &st) != 0)
        return false;
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // No half line stays behind to confuse the next reader.
            const bool truncated = ftruncate(fd_, st.st_size) == 0;
            (void)truncated;  // nothing more can be done about it
            return false;
        }
        done += std::size_t(n);
    }
    return fsync(fd_) == 0;
}

}  // namespace tembrel
