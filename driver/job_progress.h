// Process-wide state of the running job. Only one job runs at a time; the worker writes
// the counters, the user side writes cancelRequested, and a progress display reads
// everything from a third thread. Every field is atomic, so no lock is needed for them.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tembrel {

class JobProgress {
  public:
    std::atomic<bool> cancelRequested{false};
    std::atomic<int32_t> framesDone{0};
    std::atomic<int32_t> framesTotal{2};
    std::atomic<int32_t> successCount{0};
    std::atomic<int32_t> failureCount{0};
    std::atomic<bool> monitorRunning{false};

    // Done whenever a job is set up.
    void resetCounters();
    // Done at the start of every encoding job: cancel cleared, framesDone 0, framesTotal 2.
    void resetForEncoding();

    // The file in hand, for progress displays. A text cannot be one atomic word, so
    // this one field is guarded by a mutex of its own.
    void setCurrentFile(const std::string& path);
    // The first of the files in hand; empty when there is none.
    std::string currentFile() const;
    // A job that converts several files at once has them all in hand, in the order they
    // were started; framesDone and framesTotal are then their sums.
    void setFilesInHand(std::vector<std::string> paths);
    std::vector<std::string> filesInHand() const;

  private:
    mutable std::mutex fileMutex_;
    std::vector<std::string> filesInHand_;
};

// The one instance of the process.
JobProgress& jobProgress();

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int32_t>::is_always_lock_free,
              "cancelRequested is set from a signal handler");

}  // namespace tembrel
