// Runs real batch jobs (the encoder driver and the codec) over real files in a scratch
// folder, with hooks to strike at chosen moments: after a frame of the file in hand, or
// after a file is finished. Shared by the fault tests of cancelling and of storage.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "driver/convert_job.h"
#include "driver/convert_settings.h"
#include "driver/job_progress.h"
#include "job_fixture.h"
#include "test_support.h"
#include "twinvq/encoder_driver.h"

namespace tembrel::test {

namespace fs = std::filesystem;

struct RecordingListener : JobListener {
    std::vector<FileOutcome> outcomes;
    std::function<void(const FileOutcome&)> onFileDone;
    void fileDone(const FileOutcome& outcome) override {
        outcomes.push_back(outcome);
        if (onFileDone)
            onFileDone(outcome);
    }
};

class JobFaultTest : public JobTestBase {
  protected:
    void SetUp() override {
        JobTestBase::SetUp();
        startDirectory = fs::current_path();
    }
    void TearDown() override {
        JobTestBase::TearDown();
        // Whatever happened, the job leaves the process where it found it.
        EXPECT_EQ(fs::current_path(), startDirectory);
    }

    bool exists(const std::string& name) const { return fs::exists(at(name)); }

    // A short 11.025 kHz mono tone: some tens of frames.
    std::string wav(const std::string& name, uint32_t frames = 11025) {
        fs::create_directories(fs::path(at(name)).parent_path());
        writeWav(at(name), 11025, 1, 16, sine(11025, 1, frames, 440.0));
        return at(name);
    }

    // Sets the job up on a path under the scratch folder and runs it to the end.
    void runJob(const std::string& name) {
        job = ConvertJob{};
        job.encoder = &driver;
        job.listener = &listener;
        job.setUp(name.empty() ? root : at(name));
        jobProgress().resetForEncoding();
        job.run();
    }
    // Runs `action` once, after frame `frame` of the file whose name ends with `file`.
    void strikeAtFrame(const std::string& file, int32_t frame, std::function<void()> action) {
        driver.setFrameObserver([this, file, frame, action, done = false](int32_t n) mutable {
            if (!done && n == frame && jobProgress().currentFile().ends_with(file)) {
                done = true;
                action();
            }
        });
    }

    int32_t successes() const { return jobProgress().successCount; }
    int32_t failures() const { return jobProgress().failureCount; }

    fs::path startDirectory;
    EncoderDriver driver;
    RecordingListener listener;
    ConvertJob job;
};

}  // namespace tembrel::test
