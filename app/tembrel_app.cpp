#include "app/tembrel_app.h"

#include "app/main_dialog.h"
#include "ui/job_launch.h"
#include "ui/shutdown.h"
#include "ui/ui_seams.h"

namespace tembrel {

int CTembrelApp::InitInstance(const std::vector<std::string>& paths) {
    CMainDialog mainDialog(outputs_);
    for (const std::string& path : paths) {
        if (ui::shutdownRequested())
            return 0;
        ui::runJobFor(nullptr, path, std::nullopt, outputs_);
    }
    if (ui::shutdownRequested())
        return 0;
    ui::runDialog(mainDialog);
    return 0;
}

}  // namespace tembrel
