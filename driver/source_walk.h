// The folder walk of a job: which source files a path stands for, in the order a job
// handles them. One pass per source type of the mask, in the order of kSourceTypes; in
// each pass the folder's matching files sorted by name, then its subfolders depth first.
// Folders whose names begin with "." are never entered, symbolic links never followed
// into folders; skipSubfolders and skipHidden of the settings apply. Once
// cancelRequested is set, the walk stops before the next file, subfolder or pass.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/convert_settings.h"

namespace tembrel {

enum class WalkEnd { Done, NoCurrentDirectory, NoSuchFolder };

// Walks `folder`, calling `visit` with each file's path while the current directory is
// the folder that holds it. `typeMask` is asked at the start of every pass, so a type
// whose pass has not begun can still be switched on or off. `options` is read as the
// walk goes. The current directory is the same afterwards.
WalkEnd walkSources(const std::string& folder, const std::function<int32_t()>& typeMask,
                    const ConvertSettings& options,
                    const std::function<void(const std::string& path)>& visit);

// The files a job over `path` handles, in its order: the file itself when `path` names a
// file, else the walk's files; none when it names nothing.
std::vector<std::string> collectSources(const std::string& path, int32_t typeMask,
                                        const ConvertSettings& options);

}  // namespace tembrel
