#include "rename/rename_step.h"

namespace tembrel {

std::array<std::string, 2> reportLines(const RenameStep& step) {
    const bool noTitle = step.outcome == RenameOutcome::NoTitle;
    return {std::string(step.ok() ? "成功: " : "失敗: ") + step.path,
            " ---> " + (noTitle ? std::string("(タイトルなし)") : step.newPath)};
}

namespace {

std::string_view summaryOf(RenameOutcome outcome) {
    switch (outcome) {
        case RenameOutcome::Renamed:
            return "";
        case RenameOutcome::NoTitle:
            return "its tags have no title";
        case RenameOutcome::LostCharacters:
            return "a tag text lost characters on its way into CP932";
        case RenameOutcome::NotCp932:
            return "a tag text is not valid CP932";
        case RenameOutcome::BadName:
            return "the new name cannot be used";
        case RenameOutcome::Unchanged:
            return "it already has that name";
        case RenameOutcome::TargetExists:
            return "a file of that name exists";
        case RenameOutcome::TargetTakenEarlier:
            return "an earlier file of this run took that name";
        case RenameOutcome::SourceMissing:
            return "it is not there";
        case RenameOutcome::OutsideLogFolder:
            return "it lies outside the log's folder";
        case RenameOutcome::LogFailed:
            return "the rename log cannot be written";
        case RenameOutcome::RenameFailed:
            return "the rename failed";
        case RenameOutcome::Cancelled:
            return "cancelled before it was renamed";
    }
    return "";
}

}  // namespace

std::string failureReason(const RenameStep& step) {
    std::string out(summaryOf(step.outcome));
    if (!step.detail.empty())
        out += " (" + step.detail + ")";
    return out;
}

}  // namespace tembrel
