#include "cli/progress_line.h"

#include <chrono>

#include "driver/job_progress.h"
#include "platform/path_names.h"

namespace tembrel::cli {

std::string progressText(int32_t framesDone, int32_t framesTotal, int32_t succeeded, int32_t failed,
                         int32_t total, const std::string& file) {
    int64_t percent = framesTotal > 0 ? int64_t(framesDone) * 100 / framesTotal : 0;
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    const std::string_view name = lastElementOf(file);
    std::string text = std::to_string(percent) + "%  converted " + std::to_string(succeeded) +
                       ", failed " + std::to_string(failed) + ", of " + std::to_string(total);
    if (!name.empty())
        text.append("  ").append(name);
    return text;
}

void ProgressMonitor::start() {
    thread_ = std::thread([this] { loop(); });
}

void ProgressMonitor::stop() {
    if (!thread_.joinable())
        return;
    thread_.join();
    out_ << "\r\033[K" << std::flush;
}

void ProgressMonitor::loop() {
    using namespace std::chrono_literals;
    const JobProgress& progress = jobProgress();
    // Short sleeps so that the end of the job is noticed quickly; a redraw every 500 ms.
    int tick = 0;
    while (progress.monitorRunning) {
        if (tick % 5 == 0)
            draw();
        std::this_thread::sleep_for(100ms);
        ++tick;
    }
}

void ProgressMonitor::draw() {
    const JobProgress& progress = jobProgress();
    const int32_t succeeded = succeededBefore_ + progress.successCount;
    const int32_t failed = failedBefore_ + progress.failureCount;
    out_ << "\r\033[K"
         << progressText(progress.framesDone, progress.framesTotal, succeeded, failed, totalFiles_,
                         progress.currentFile())
         << std::flush;
}

}  // namespace tembrel::cli
