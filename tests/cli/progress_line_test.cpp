#include <gtest/gtest.h>

#include "cli/progress_line.h"

namespace tembrel::cli {
namespace {

TEST(ProgressText, PercentOfTheFilesInHandCountsAndNames) {
    EXPECT_EQ(progressText(0, 2, 0, 0, 3, {"/m/a.wav"}), "0%  converted 0, failed 0, of 3  a.wav");
    EXPECT_EQ(progressText(21, 42, 1, 2, 3, {"b.mp3"}), "50%  converted 1, failed 2, of 3  b.mp3");
    EXPECT_EQ(progressText(30, 40, 1, 0, 5, {"/m/a.wav", "/m/sub/b.mp3"}),
              "75%  converted 1, failed 0, of 5  a.wav, b.mp3");
    // The last frames run past framesTotal; the line never shows more than 100%.
    EXPECT_EQ(progressText(43, 42, 0, 0, 1, {}), "100%  converted 0, failed 0, of 1");
    EXPECT_EQ(progressText(5, 0, 0, 0, 1, {}), "0%  converted 0, failed 0, of 1");
}

}  // namespace
}  // namespace tembrel::cli
