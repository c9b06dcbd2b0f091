#include "ui/shutdown.h"

#include <QApplication>
#include <QWidget>
#include <atomic>

#include "driver/job_progress.h"

namespace tembrel::ui {
namespace {

std::atomic<bool> requested{false};

}  // namespace

bool shutdownRequested() {
    return requested;
}

void requestShutdown() {
    requested = true;
    jobProgress().cancelRequested = true;
    while (QWidget* top = QApplication::activeModalWidget()) {
        top->close();
        if (top->isVisible())
            break;
    }
}

void clearShutdownRequest() {
    requested = false;
}

}  // namespace tembrel::ui
