#include "driver/front_end.h"

#include "platform/path_names.h"

namespace tembrel {

bool opensTagEditor(PathKind kind, std::string_view path) {
    return kind == PathKind::File && hasVqfExtension(path);
}

EndReport endReport(int32_t failureCount, int32_t warningCount, bool cancelled,
                    bool noCompletionSound) {
    if (cancelled)
        return {};
    if (failureCount != 0)
        return {EndReport::Kind::FailureMessage, std::to_string(failureCount) + "個変換できず"};
    if (warningCount != 0)
        return {EndReport::Kind::WarningMessage,
                std::to_string(warningCount) + "個は警告付きで変換"};
    if (noCompletionSound)
        return {};
    return {EndReport::Kind::Beep, {}};
}

}  // namespace tembrel
