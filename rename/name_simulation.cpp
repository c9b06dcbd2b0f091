#include "rename/name_simulation.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/path_names.h"

namespace tembrel {

PathParts splitPath(const std::string& path) {
    const std::string_view name = lastElementOf(path);
    return {path.substr(0, path.size() - name.size()), std::string(name)};
}

std::string NameSimulation::key(const std::string& path) {
    PathParts parts = splitPath(path);
    std::string folder = parts.folder.empty() ? "." : parts.folder;
    auto [it, added] = canonicalFolders_.try_emplace(folder, folder);
    if (added) {
        if (char* resolved = realpath(folder.c_str(), nullptr)) {
            it->second = resolved;
            std::free(resolved);
        }
    }
    return it->second + "/" + parts.name;
}

bool NameSimulation::exists(const std::string& path, Origin* origin) {
    if (auto it = changed_.find(key(path)); it != changed_.end()) {
        if (origin)
            *origin = it->second ? Origin::TakenByRun : Origin::FreedByRun;
        return it->second;
    }
    if (origin)
        *origin = Origin::Disk;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0)
        return true;
    // What cannot be looked at is taken as there: the rename would not go through.
    return errno != ENOENT && errno != ENOTDIR;
}

void NameSimulation::move(const std::string& from, const std::string& to) {
    changed_[key(from)] = false;
    changed_[key(to)] = true;
}

RenameOutcome NameSimulation::rename(const std::string& from, const std::string& to,
                                     std::string& detail) {
    Origin origin{};
    if (!exists(from, &origin)) {
        if (origin == Origin::FreedByRun)
            detail = "an earlier file of this run renamed it";
        return RenameOutcome::SourceMissing;
    }
    if (exists(to, &origin))
        return origin == Origin::TakenByRun ? RenameOutcome::TargetTakenEarlier
                                            : RenameOutcome::TargetExists;
    move(from, to);
    return RenameOutcome::Renamed;
}

}  // namespace tembrel
