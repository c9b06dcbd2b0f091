#include "rename/rename_run.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/file_ops.h"

namespace tembrel {
namespace {

// The path with its folder resolved to a canonical absolute one; nothing when the folder
// cannot be resolved.
std::optional<std::string> absolutePath(const std::string& path) {
    const PathParts parts = splitPath(path);
    char* resolved = realpath(parts.folder.empty() ? "." : parts.folder.c_str(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string folder(resolved);
    std::free(resolved);
    if (folder.back() != '/')
        folder += '/';
    return folder + parts.name;
}

}  // namespace

RenameRun::RenameRun(std::vector<RenameStep> steps, const std::string& logPath, LogRun header,
                     std::string_view headerComment)
    : steps_(std::move(steps)) {
    header.time = logTimeNow();
    logError_ = log_.open(logPath);
    if (logError_.empty() && !log_.append(runHeaderLine(header, headerComment)))
        logError_ = logPath + ": " + std::strerror(errno);
}

RenameRun::RenameRun(RenamePlan plan, const std::string& logPath)
    : RenameRun(std::move(plan.steps), logPath,
                LogRun{LogRun::Kind::Rename, int(plan.pattern), {}, {}},
                textOf(plan.pattern).format) {}

const RenameStep& RenameRun::performNext() {
    RenameStep& step = steps_.at(next_++);
    if (!step.ok())
        return step;
    if (!logError_.empty()) {
        step.outcome = RenameOutcome::LogFailed;
        step.detail = logError_;
        return step;
    }
    const auto from = absolutePath(step.path);
    const auto to = absolutePath(step.newPath);
    if (!from || !to) {
        step.outcome = RenameOutcome::SourceMissing;
        return step;
    }
    if (!log_.append(moveLine({*from, *to}))) {
        // Without the record the rename could not be taken back: neither this file nor
        // any later one is renamed.
        logError_ = std::string("writing to it failed: ") + std::strerror(errno);
        step.outcome = RenameOutcome::LogFailed;
        step.detail = logError_;
        return step;
    }
    if (!renameNoReplace(*from, *to)) {
        const int error = errno;
        step.outcome = error == EEXIST   ? RenameOutcome::TargetExists
                       : error == ENOENT ? RenameOutcome::SourceMissing
                                         : RenameOutcome::RenameFailed;
        step.detail = std::strerror(error);
    }
    return step;
}

void RenameRun::cancelRest() {
    for (; next_ < steps_.size(); ++next_) {
        steps_[next_].outcome = RenameOutcome::Cancelled;
        steps_[next_].detail.clear();
    }
}

void performAll(RenameRun& run, const std::atomic<bool>& cancel,
                const std::function<void(const RenameStep&)>& onStep) {
    while (!run.finished()) {
        if (cancel) {
            run.cancelRest();
            return;
        }
        const RenameStep& step = run.performNext();
        if (onStep)
            onStep(step);
    }
}

std::string renameLogPathFor(const std::string& path, bool isFolder) {
    if (isFolder)
        return (path.ends_with('/') ? path : path + "/") + std::string(kRenameLogName);
    return splitPath(path).folder + std::string(kRenameLogName);
}

RenameStep renameByTags(const std::string& path, RenamePattern pattern) {
    RenameRun run(planRenames({path}, pattern), renameLogPathFor(path, false));
    return run.performNext();
}

}  // namespace tembrel
