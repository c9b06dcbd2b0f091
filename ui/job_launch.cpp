#include "ui/job_launch.h"

#include "ui/progress_dialog.h"

namespace tembrel::ui {

void runJobFor(QWidget* parent, const std::string& path, std::optional<PathKind> forcedKind,
               OutputRecord& outputs) {
    CProgressDialog dialog(parent);
    dialog.job.setUp(path);
    if (forcedKind)
        dialog.job.kind = *forcedKind;
    dialog.job.sharedOutputs = &outputs;
    dialog.launch();
}

}  // namespace tembrel::ui
