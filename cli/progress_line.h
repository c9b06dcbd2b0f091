// The live progress line of an encoding job on a terminal, refreshed from a monitor
// thread that only reads JobProgress.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace tembrel::cli {

// One refresh of the line: percent of the files in hand, counts, the files' names.
std::string progressText(int32_t framesDone, int32_t framesTotal, int32_t succeeded, int32_t failed,
                         int32_t total, const std::vector<std::string>& files);

// Runs while JobProgress::monitorRunning is set; redraws about twice a second. The
// caller sets monitorRunning before start() and clears it before stop().
class ProgressMonitor {
  public:
    // The counts of earlier jobs of this run are added to the job's own.
    ProgressMonitor(std::ostream& out, int32_t totalFiles, int32_t succeededBefore,
                    int32_t failedBefore)
        : out_(out),
          totalFiles_(totalFiles),
          succeededBefore_(succeededBefore),
          failedBefore_(failedBefore) {}
    ~ProgressMonitor() { stop(); }
    ProgressMonitor(const ProgressMonitor&) = delete;
    ProgressMonitor& operator=(const ProgressMonitor&) = delete;

    void start();
    // Waits for the thread and clears the line.
    void stop();

  private:
    void loop();
    void draw();

    std::ostream& out_;
    int32_t totalFiles_;
    int32_t succeededBefore_;
    int32_t failedBefore_;
    std::thread thread_;
};

}  // namespace tembrel::cli
