#include "rename/rename_plan.h"

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

RenameStep targetByTags(const std::string& path, RenamePattern pattern) {
    RenameStep step{path, {}, RenameOutcome::Renamed, {}};
    SongTags tags;
    tags.read(path);
    const PathParts parts = splitPath(path);
    const std::size_t dot = parts.name.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : parts.name.substr(dot);
    ComposedName composed = composeName(tags, pattern, extension);
    if (!composed.name.empty())
        step.newPath = parts.folder + composed.name;
    step.outcome = outcomeOf(composed.problem);
    step.detail = std::move(composed.detail);
    return step;
}

RenamePlan planRenames(const std::vector<std::string>& paths, RenamePattern pattern,
                       NameSimulation& names) {
    RenamePlan plan{pattern, {}};
    plan.steps.reserve(paths.size());
    for (const std::string& path : paths) {
        NameSimulation::Origin origin{};
        if (!names.exists(path, &origin)) {
            RenameStep missing{path, {}, RenameOutcome::SourceMissing, {}};
            if (origin == NameSimulation::Origin::FreedByRun)
                missing.detail = "an earlier file of this run renamed it";
            plan.steps.push_back(std::move(missing));
            continue;
        }
        RenameStep step = targetByTags(path, pattern);
        if (step.ok()) {
            if (splitPath(step.newPath).name == splitPath(path).name) {
                step.outcome = RenameOutcome::Unchanged;
            } else if (names.exists(step.newPath, &origin)) {
                step.outcome = origin == NameSimulation::Origin::TakenByRun
                                   ? RenameOutcome::TargetTakenEarlier
                                   : RenameOutcome::TargetExists;
            } else {
                names.move(path, step.newPath);
            }
        }
        plan.steps.push_back(std::move(step));
    }
    return plan;
}

RenamePlan planRenames(const std::vector<std::string>& paths, RenamePattern pattern) {
    NameSimulation names;
    return planRenames(paths, pattern, names);
}

}  // namespace tembrel
