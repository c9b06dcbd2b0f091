#include "rename/rename_plan.h"

#include "driver/job_progress.h"
#include "driver/source_walk.h"
#include "platform/path_names.h"
#include "tags/song_tags.h"

namespace tembrel {

std::size_t RenamePlan::renameCount() const {
    std::size_t n = 0;
    for (const RenameStep& step : steps)
        n += step.ok() ? 1 : 0;
    return n;
}

namespace {

RenameOutcome outcomeOf(NameProblem problem) {
    switch (problem) {
        case NameProblem::None:
            return RenameOutcome::Renamed;
        case NameProblem::NoTitle:
            return RenameOutcome::NoTitle;
        case NameProblem::LostCharacters:
            return RenameOutcome::LostCharacters;
        case NameProblem::NotCp932:
            return RenameOutcome::NotCp932;
        case NameProblem::BadName:
            return RenameOutcome::BadName;
    }
    return RenameOutcome::BadName;
}

}  // namespace

std::vector<std::string> collectForRenaming(const std::string& path, int32_t typeMask,
                                            const ConvertSettings& options) {
    jobProgress().cancelRequested = false;
    return collectSources(path, typeMask, options);
}

RenameStep targetByTags(const std::string& path, RenamePattern pattern) {
    RenameStep step{path, {}, RenameOutcome::Renamed, {}};
    SongTags tags;
    tags.read(path);
    const std::string_view extension = lastElementOf(path).substr(stemOf(path).size());
    ComposedName composed = composeName(tags, pattern, extension);
    if (!composed.name.empty())
        step.newPath = splitPath(path).folder + composed.name;
    step.outcome = outcomeOf(composed.problem);
    step.detail = std::move(composed.detail);
    return step;
}

RenamePlan planRenames(const std::vector<std::string>& paths, RenamePattern pattern,
                       NameSimulation& names) {
    RenamePlan plan{pattern, {}};
    plan.steps.reserve(paths.size());
    for (const std::string& path : paths) {
        RenameStep step = targetByTags(path, pattern);
        if (step.ok() && splitPath(step.newPath).name == splitPath(path).name)
            step.outcome = RenameOutcome::Unchanged;
        else if (step.ok())
            step.outcome = names.rename(path, step.newPath, step.detail);
        else if (!names.exists(path))  // whatever its tags would have said
            step.outcome = RenameOutcome::SourceMissing;
        plan.steps.push_back(std::move(step));
    }
    return plan;
}

RenamePlan planRenames(const std::vector<std::string>& paths, RenamePattern pattern) {
    NameSimulation names;
    return planRenames(paths, pattern, names);
}

}  // namespace tembrel
