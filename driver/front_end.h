// What the window program and the command line decide the same way about a job: whether
// a path opens the tag editor instead, and what the user is told when the job has ended.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "driver/convert_job.h"

namespace tembrel {

// A single file whose name ends in ".vqf", in any case, is edited, not converted.
bool opensTagEditor(PathKind kind, std::string_view path);

struct EndReport {
    enum class Kind {
        Silence,         // cancelled, or the sound is switched off
        Beep,            // every file converted cleanly
        FailureMessage,  // some files did not convert; `message` says how many
        WarningMessage,  // every file converted, some with a warning; `message` says how many
    };
    Kind kind = Kind::Silence;
    std::string message;  // empty for Silence and Beep
};

// The end of a job from its outcome and the settings. A cancelled job ends silently;
// failures come before warnings; a clean job beeps unless noCompletionSound is set.
EndReport endReport(int32_t failureCount, int32_t warningCount, bool cancelled,
                    bool noCompletionSound);

}  // namespace tembrel
