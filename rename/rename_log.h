// The rename log: one file per folder that records every rename made there, so that a
// run can be taken back. It is only ever appended to. Each run begins with a header line;
// each rename is one line with the old and the new absolute path, written and flushed to
// disk before the rename is made.
//
//   #run<TAB>2026-12-09 04:01:00 +0000<TAB>rename<TAB>2<TAB>%02d.[%s]-%s
//   /music/a.mp3<TAB>/music/07.[Album]-Rain.mp3
//   #run<TAB>2026-12-09 04:05:00 +0000<TAB>undo<TAB>1
//   /music/07.[Album]-Rain.mp3<TAB>/music/a.mp3
//
// In paths, a tab, a line feed and a backslash are written as \t, \n and \\, and every
// other control byte and every byte that is not part of well-formed UTF-8 as \xHH.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tembrel {

inline constexpr std::string_view kRenameLogName = "tembrel-rename.log";

std::string escapeLogPath(std::string_view path);
// Nothing when the text is no escaped path (a stray or unknown escape, a raw control byte).
std::optional<std::string> unescapeLogPath(std::string_view text);

struct LogMove {
    std::string from;
    std::string to;
};

struct LogRun {
    enum class Kind { Rename, Undo };
    Kind kind = Kind::Rename;
    // A renaming's pattern; for an undo the number of the run it took back (runs are
    // numbered from 1 in the order of the log).
    int argument = 0;
    std::string time;
    std::vector<LogMove> moves;
};

struct ParsedLog {
    std::vector<LogRun> runs;
    // The first line (counted from 1) that is not understood; 0 when every line is.
    // A log with such a line is not used at all.
    std::size_t badLine = 0;
};
ParsedLog parseRenameLog(std::string_view bytes);

// The lines as they are written, each with its line feed. The header of a renaming
// names its pattern's format for whoever reads the log.
std::string runHeaderLine(const LogRun& run, std::string_view comment = {});
std::string moveLine(const LogMove& move);
// Local time as the headers give it.
std::string logTimeNow();

// The log file of one run: created when missing, never through a symbolic link, locked
// against other runs while this one lasts.
class RenameLogFile {
  public:
    RenameLogFile() = default;
    ~RenameLogFile();
    RenameLogFile(const RenameLogFile&) = delete;
    RenameLogFile& operator=(const RenameLogFile&) = delete;

    // Empty on success, else why the log cannot be used.
    std::string open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    // Appends the whole line and waits until it is on disk; false if any of it failed.
    bool append(std::string_view line);

  private:
    int fd_ = -1;
};

}  // namespace tembrel
