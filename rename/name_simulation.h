// The names in the file system as a run leaves them: what is on disk, changed by the
// renames the run has made so far. A plan asks it before each file, so that it sees a
// name freed or taken by an earlier file of the run just as the real run would.
#pragma once

#include <map>
#include <string>

#include "rename/rename_step.h"

namespace tembrel {

class NameSimulation {
  public:
    enum class Origin { Disk, TakenByRun, FreedByRun };

    // Whether something of this name exists (a dangling link too), and what decided it.
    bool exists(const std::string& path, Origin* origin = nullptr);
    // The run renames `from` to `to`.
    void move(const std::string& from, const std::string& to);
    // What renaming `from` to `to` meets at this point of the run: SourceMissing,
    // TargetExists or TargetTakenEarlier (with `detail` when the run caused it), or
    // Renamed, and then the rename is made here.
    RenameOutcome rename(const std::string& from, const std::string& to, std::string& detail);

  private:
    // One file by any spelling of its folder: the folder's canonical path and the name.
    std::string key(const std::string& path);

    std::map<std::string, bool> changed_;  // key -> exists once the run's renames are made
    std::map<std::string, std::string> canonicalFolders_;
};

// The folder part of a path with its final "/" ("" for a bare name), and the name.
struct PathParts {
    std::string folder;
    std::string name;
};
PathParts splitPath(const std::string& path);

}  // namespace tembrel
