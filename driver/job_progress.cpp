#include "driver/job_progress.h"

namespace tembrel {

void JobProgress::resetCounters() {
    successCount = 0;
    failureCount = 0;
}

void JobProgress::resetForEncoding() {
    cancelRequested = false;
    framesDone = 0;
    framesTotal = 2;
}

void JobProgress::setCurrentFile(const std::string& path) {
    std::lock_guard lock(fileMutex_);
    currentFile_ = path;
}

std::string JobProgress::currentFile() const {
    std::lock_guard lock(fileMutex_);
    return currentFile_;
}

JobProgress& jobProgress() {
    static JobProgress instance;
    return instance;
}

}  // namespace tembrel
