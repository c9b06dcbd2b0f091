#include "rename/rename_undo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

#include "rename/name_simulation.h"
#include "rename/rename_log.h"

namespace tembrel {
namespace {

std::optional<std::string> canonical(const std::string& folder) {
    char* resolved = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

bool isInside(const std::string& folder, const std::string& root) {
    if (root == "/")
        return true;
    return folder == root || (folder.starts_with(root) && folder[root.size()] == '/');
}

// The log's bytes, or why they cannot be read. A link is not followed, as when writing.
std::optional<std::string> readLog(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = errno == ELOOP ? path + " is a symbolic link" : path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    std::string bytes;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + " is not a regular file";
    } else {
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                error = path + ": " + std::strerror(errno);
            if (n <= 0)
                break;
            bytes.append(buffer, std::size_t(n));
        }
    }
    close(fd);
    if (!error.empty())
        return std::nullopt;
    return bytes;
}

// The newest renaming with renames in it that no undo has taken back; 0 when none.
int runToUndo(const ParsedLog& log) {
    std::set<int> undone;
    for (const LogRun& run : log.runs) {
        if (run.kind == LogRun::Kind::Undo)
            undone.insert(run.argument);
    }
    for (int number = int(log.runs.size()); number >= 1; --number) {
        const LogRun& run = log.runs[std::size_t(number) - 1];
        if (run.kind == LogRun::Kind::Rename && !run.moves.empty() && !undone.contains(number))
            return number;
    }
    return 0;
}

// One rename taken back: from its new name to its old one, both in one folder inside
// the log's folder, checked against the names as the undo leaves them so far.
RenameStep undoStep(const LogMove& move, const std::string& root, NameSimulation& names) {
    RenameStep step{move.to, move.from, RenameOutcome::Renamed, {}};
    const PathParts now = splitPath(move.to);
    const PathParts before = splitPath(move.from);
    const auto badName = [](const std::string& name) {
        return name.empty() || name == "." || name == "..";
    };
    if (now.folder != before.folder || badName(now.name) || badName(before.name)) {
        step.outcome = RenameOutcome::OutsideLogFolder;
        step.detail = "the two names are not in one folder";
        return step;
    }
    const auto folder = canonical(now.folder);
    if (!folder) {
        step.outcome = RenameOutcome::SourceMissing;
        step.detail = "its folder is not there";
        return step;
    }
    if (!isInside(*folder, root)) {
        step.outcome = RenameOutcome::OutsideLogFolder;
        return step;
    }
    // The folder as it really is, so that the check above holds for the rename made.
    const std::string base = *folder == "/" ? *folder : *folder + "/";
    step.path = base + now.name;
    step.newPath = base + before.name;
    step.outcome = names.rename(step.path, step.newPath, step.detail);
    return step;
}

}  // namespace

std::size_t UndoPlan::renameCount() const {
    std::size_t n = 0;
    for (const RenameStep& step : steps)
        n += step.ok() ? 1 : 0;
    return n;
}

UndoPlan planUndo(const std::string& logPath) {
    UndoPlan plan;
    plan.logPath = logPath;
    const auto bytes = readLog(logPath, plan.error);
    if (!bytes)
        return plan;
    const ParsedLog log = parseRenameLog(*bytes);
    if (log.badLine != 0) {
        plan.error = logPath + ": line " + std::to_string(log.badLine) +
                     " is not a rename log line; nothing is undone";
        return plan;
    }
    plan.runNumber = runToUndo(log);
    if (plan.runNumber == 0) {
        plan.error = logPath + ": every renaming in it has been undone";
        return plan;
    }
    const auto root = canonical(splitPath(logPath).folder);
    if (!root) {
        plan.error = logPath + ": its folder cannot be resolved";
        return plan;
    }
    NameSimulation names;
    const auto& moves = log.runs[std::size_t(plan.runNumber) - 1].moves;
    for (auto it = moves.rbegin(); it != moves.rend(); ++it)
        plan.steps.push_back(undoStep(*it, *root, names));
    return plan;
}

RenameRun startUndo(UndoPlan plan) {
    return RenameRun(std::move(plan.steps), plan.logPath,
                     LogRun{LogRun::Kind::Undo, plan.runNumber, {}, {}});
}

}  // namespace tembrel
