// The plan of a renaming: every file's new name and what would happen to it, worked
// out before anything moves. A dry run is the plan alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/convert_settings.h"
#include "rename/name_simulation.h"
#include "rename/rename_pattern.h"
#include "rename/rename_step.h"

namespace tembrel {

struct RenamePlan {
    RenamePattern pattern = kDefaultRenamePattern;
    std::vector<RenameStep> steps;  // in the order of the files

    // Steps planned to rename.
    std::size_t renameCount() const;
};

// The files a renaming over `path` takes, in the order of a job's walk. A renaming job
// begins afresh: a cancel left from an earlier job is cleared first.
std::vector<std::string> collectForRenaming(const std::string& path, int32_t typeMask,
                                            const ConvertSettings& options);

// Reads the file's tags and composes its new path (same folder, same extension). The
// step fails when the tags give no usable name; whether the rename could be made is the
// plan's business.
RenameStep targetByTags(const std::string& path, RenamePattern pattern);

// Plans the files in order as one run would make them, `names` telling which names are
// free at each step (and updated by the plan). Plans that share one simulation see each
// other, as runs made one after the other do.
RenamePlan planRenames(const std::vector<std::string>& paths, RenamePattern pattern,
                       NameSimulation& names);
RenamePlan planRenames(const std::vector<std::string>& paths, RenamePattern pattern);

}  // namespace tembrel
