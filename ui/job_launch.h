// Every way of choosing input ends here: a progress window with a fresh job for the
// path, dispatched to the tag editor or run itself, and closed before this returns.
#pragma once

#include <optional>
#include <string>

#include "driver/convert_job.h"

class QWidget;

namespace tembrel::ui {

// `forcedKind` is what the choosers know of the path (a file, a folder); the command
// line and drops keep what the lookup found. `outputs` is the program run's record of
// outputs written, shared by all its jobs.
void runJobFor(QWidget* parent, const std::string& path, std::optional<PathKind> forcedKind,
               OutputRecord& outputs);

}  // namespace tembrel::ui
