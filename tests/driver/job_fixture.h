// The base of the batch-job tests: fresh settings and progress counters for every test, a
// scratch folder (by its canonical path, as the walk reports paths), and everything put
// back afterwards so that one test's settings or cancel flag never leak into the next.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "driver/convert_settings.h"
#include "driver/job_progress.h"
#include "test_support.h"

namespace tembrel::test {

class JobTestBase : public ::testing::Test {
  protected:
    void SetUp() override {
        convertSettings().resetToDefaults();
        jobProgress().resetCounters();
        jobProgress().resetForEncoding();
        root = std::filesystem::canonical(dir.path()).string();
    }
    void TearDown() override {
        convertSettings().resetToDefaults();
        jobProgress().cancelRequested = false;
    }

    std::string at(const std::string& name) const { return root + "/" + name; }

    TempDir dir;
    std::string root;
};

}  // namespace tembrel::test
