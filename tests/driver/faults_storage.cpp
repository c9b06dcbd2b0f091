// Storage that fails under a folder job, and sources that change under it: nothing is
// lost. An output that cannot be created or written is a failure that leaves no broken
// file and keeps its source, even when sources are to be deleted; a source removed,
// replaced or cut short while it is converted is never counted as converted.
#include <sys/resource.h>

#include <csignal>

#include "tests/driver/faults_fixture.h"
#include "tests/support/read_only_folder.h"

namespace tembrel::test {
namespace {

// A file-size limit for this process: writes past it fail with EFBIG, as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

  private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

using StorageFaultTest = JobFaultTest;

TEST_F(StorageFaultTest, ReadOnlyFolderFailsEveryFileAndKeepsEverySource) {
    wav("ro/a.wav");
    wav("ro/b.wav");
    convertSettings().deleteSource = true;
    ReadOnlyFolder readOnly(at("ro"));
    if (!readOnly.usable())
        GTEST_SKIP() << "cannot make a folder read-only here";
    runJob("ro");
    EXPECT_EQ(successes(), 0);
    EXPECT_EQ(failures(), 2);
    ASSERT_EQ(job.failures().size(), 2u);
    EXPECT_NE(job.failures()[0].reason.find("cannot create"), std::string::npos)
        << job.failures()[0].reason;
    EXPECT_TRUE(exists("ro/a.wav"));
    EXPECT_TRUE(exists("ro/b.wav"));
    EXPECT_FALSE(exists("ro/a.vqf"));
    EXPECT_FALSE(exists("ro/b.vqf"));
}

TEST_F(StorageFaultTest, FullDiskFailsTheFileItHitsAndTheJobGoesOn) {
    // "a" is short enough for its VQF file to fit under the limit, "b" is not.
    wav("a.wav", 2000);
    wav("b.wav", 11025 * 3);
    const auto sourceSize = fs::file_size(at("b.wav"));
    convertSettings().deleteSource = true;
    {
        FileSizeLimit limit(2048);
        runJob("");
    }
    EXPECT_EQ(successes(), 1);
    EXPECT_EQ(failures(), 1);
    ASSERT_EQ(job.failures().size(), 1u);
    EXPECT_EQ(job.failures()[0].inputPath, at("b.wav"));
    EXPECT_NE(job.failures()[0].reason.find("cannot write"), std::string::npos)
        << job.failures()[0].reason;
    EXPECT_TRUE(exists("a.vqf"));
    EXPECT_FALSE(exists("a.wav"));
    // The failed file: no broken output, and its source untouched despite deleteSource.
    EXPECT_FALSE(exists("b.vqf"));
    ASSERT_TRUE(exists("b.wav"));
    EXPECT_EQ(fs::file_size(at("b.wav")), sourceSize);
}

TEST_F(StorageFaultTest, SourceRemovedDuringItsConversionIsNotCountedButItsOutputStays) {
    wav("a.wav");
    convertSettings().deleteSource = true;
    strikeAtFrame("/a.wav", 2, [this] { fs::remove(at("a.wav")); });
    runJob("");
    EXPECT_EQ(successes(), 0);
    EXPECT_EQ(failures(), 1);
    ASSERT_EQ(job.failures().size(), 1u);
    EXPECT_NE(job.failures()[0].reason.find("removed"), std::string::npos);
    // The open source was still read to its end: the output is whole and is all that is
    // left of that audio.
    ASSERT_TRUE(exists("a.vqf"));
    EXPECT_GT(fs::file_size(at("a.vqf")), 100u);
}

TEST_F(StorageFaultTest, SourceReplacedDuringItsConversionIsNeitherCountedNorDeleted) {
    wav("a.wav");
    writeFile(at("new.bin"), "a different file that was never converted");
    convertSettings().deleteSource = true;
    strikeAtFrame("/a.wav", 2, [this] { fs::rename(at("new.bin"), at("a.wav")); });
    runJob("a.wav");
    EXPECT_EQ(successes(), 0);
    EXPECT_EQ(failures(), 1);
    ASSERT_TRUE(exists("a.wav"));
    const std::vector<uint8_t> bytes = readFile(at("a.wav"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "a different file that was never converted");
    EXPECT_TRUE(exists("a.vqf"));
}

TEST_F(StorageFaultTest, SourceCutShortDuringItsConversionFailsWithoutAnOutput) {
    wav("a.wav");
    wav("b.wav");
    convertSettings().deleteSource = true;
    strikeAtFrame("/a.wav", 2, [this] { fs::resize_file(at("a.wav"), 200); });
    runJob("");
    EXPECT_EQ(successes(), 1);
    EXPECT_EQ(failures(), 1);
    ASSERT_EQ(job.failures().size(), 1u);
    EXPECT_EQ(job.failures()[0].inputPath, at("a.wav"));
    EXPECT_NE(job.failures()[0].reason.find("changed"), std::string::npos);
    EXPECT_FALSE(exists("a.vqf"));
    EXPECT_TRUE(exists("a.wav"));
    // The next file is handled as usual.
    EXPECT_TRUE(exists("b.vqf"));
    EXPECT_FALSE(exists("b.wav"));
}

}  // namespace
}  // namespace tembrel::test
