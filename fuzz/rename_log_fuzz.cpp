// The rename log, read back by undo. Whatever comes in, parsing ends; a log that parses
// reads back the same when written out again; and any bytes at all, taken as a path,
// come back unchanged through the escapes and never contain a raw tab or line feed.
#include <cstdint>
#include <string>
#include <string_view>

#include "rename/rename_log.h"

namespace {

using namespace tembrel;

bool sameRuns(const ParsedLog& a, const ParsedLog& b) {
    if (a.runs.size() != b.runs.size())
        return false;
    for (std::size_t i = 0; i < a.runs.size(); ++i) {
        const LogRun& x = a.runs[i];
        const LogRun& y = b.runs[i];
        if (x.kind != y.kind || x.argument != y.argument || x.time != y.time ||
            x.moves.size() != y.moves.size())
            return false;
        for (std::size_t k = 0; k < x.moves.size(); ++k) {
            if (x.moves[k].from != y.moves[k].from || x.moves[k].to != y.moves[k].to)
                return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string escaped = escapeLogPath(bytes);
    if (escaped.find_first_of("\t\n") != std::string::npos || unescapeLogPath(escaped) != bytes)
        __builtin_trap();

    const ParsedLog log = parseRenameLog(bytes);
    if (log.badLine != 0)
        return 0;
    std::string written;
    for (const LogRun& run : log.runs) {
        written += runHeaderLine(run);
        for (const LogMove& move : run.moves)
            written += moveLine(move);
    }
    const ParsedLog again = parseRenameLog(written);
    if (again.badLine != 0 || !sameRuns(log, again))
        __builtin_trap();
    return 0;
}
