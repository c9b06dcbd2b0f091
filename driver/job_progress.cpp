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
    setFilesInHand(path.empty() ? std::vector<std::string>{} : std::vector<std::string>{path});
}

std::string JobProgress::currentFile() const {
    std::lock_guard lock(fileMutex_);
    return filesInHand_.empty() ? std::string() : filesInHand_.front();
}

void JobProgress::setFilesInHand(std::vector<std::string> paths) {
    std::lock_guard lock(fileMutex_);
    filesInHand_ = std::move(paths);
}

std::vector<std::string> JobProgress::filesInHand() const {
    std::lock_guard lock(fileMutex_);
    return filesInHand_;
}

JobProgress& jobProgress() {
    static JobProgress instance;
    return instance;
}

}  // namespace tembrel
