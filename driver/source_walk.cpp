#include "driver/source_walk.h"

#include <algorithm>

#include "driver/convert_job.h"
#include "driver/job_progress.h"
#include "platform/dir_search.h"
#include "platform/file_ops.h"

namespace tembrel {
namespace {

// One pass over the current directory and, unless skipped, its subfolders.
void scanFolder(std::span<const std::string_view> patterns, const ConvertSettings& options,
                const std::function<void(const std::string& path)>& visit) {
    const JobProgress& progress = jobProgress();
    const std::string current = currentDirectory();
    if (current.empty())
        return;
    // The root "/" joins as "" + "/" + name.
    const std::string directory = current == "/" ? std::string() : current;

    // A type of several patterns takes each folder's files of all of them in one sorted run.
    for (const DirEntry& entry : findEntries(current, patterns.size() == 1 ? patterns[0] : "*.*")) {
        if (progress.cancelRequested)
            break;
        if (std::none_of(patterns.begin(), patterns.end(),
                         [&entry](std::string_view p) { return matchesPattern(p, entry.name); }))
            continue;
        if (options.skipHidden && entry.hidden)
            continue;
        visit(joinPath(directory, entry.name));
    }
    if (!options.skipSubfolders) {
        // Symbolic links are never reported as folders, so a link cycle cannot make the
        // walk endless.
        for (const DirEntry& entry : findEntries(current, "*.*")) {
            if (progress.cancelRequested)
                break;
            if (!entry.isDirectory || entry.name.starts_with('.'))
                continue;
            if (!changeDirectory(joinPath(directory, entry.name)))
                continue;
            scanFolder(patterns, options, visit);
            changeDirectory(current);
        }
    }
}

}  // namespace

WalkEnd walkSources(const std::string& folder, const std::function<int32_t()>& typeMask,
                    const ConvertSettings& options,
                    const std::function<void(const std::string& path)>& visit) {
    CurrentDirectoryGuard guard;
    // Without a directory to come back to the walk would leave the process elsewhere.
    if (!guard.valid())
        return WalkEnd::NoCurrentDirectory;
    for (const SourceType& type : kSourceTypes) {
        if ((typeMask() & type.bit) == 0)
            continue;
        if (jobProgress().cancelRequested)
            break;
        // A path that names nothing is never replaced by whatever directory happens to
        // be current.
        if (!changeDirectory(folder))
            return WalkEnd::NoSuchFolder;
        scanFolder(type.patterns, options, visit);
        guard.restore();
    }
    return WalkEnd::Done;
}

std::vector<std::string> collectSources(const std::string& path, int32_t typeMask,
                                        const ConvertSettings& options) {
    const PathLookup found = lookupPath(path);
    if (found.exists && !found.isDirectory)
        return {found.path};
    std::vector<std::string> files;
    walkSources(
        path, [typeMask] { return typeMask; }, options,
        [&files](const std::string& file) { files.push_back(file); });
    return files;
}

}  // namespace tembrel
