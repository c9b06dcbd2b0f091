// Cancelling a folder job at each stage: before the first file, in the middle of a file,
// between two files and between the passes of the walk. The file in hand counts as a
// failure and loses its partial output (unless it is to be kept), no later file is
// touched, no source is deleted for a cancelled file, and the process ends up in the
// directory it started from.
#include "tests/driver/faults_fixture.h"

namespace tembrel::test {
namespace {

class CancelFaultTest : public JobFaultTest {
  protected:
    // Top-level files come before the subfolder, and every WAV file before any MP3 file.
    // "e.mp3" holds WAV data: sources are opened by content, so it converts as well.
    void SetUp() override {
        JobFaultTest::SetUp();
        wav("a.wav");
        wav("b.wav");
        wav("sub/c.wav");
        wav("e.mp3");
    }
    std::vector<std::string> outputs() const {
        std::vector<std::string> names;
        for (const char* name : {"a.vqf", "b.vqf", "sub/c.vqf", "e.vqf"})
            if (exists(name))
                names.push_back(name);
        return names;
    }
    void expectAllSources() const {
        for (const char* name : {"a.wav", "b.wav", "sub/c.wav", "e.mp3"})
            EXPECT_TRUE(exists(name)) << name;
    }
    using Names = std::vector<std::string>;
};

TEST_F(CancelFaultTest, WithoutCancelEveryFileOfTheFolderConverts) {
    convertSettings().deleteSource = true;
    runJob("");
    EXPECT_EQ(successes(), 4);
    EXPECT_EQ(failures(), 0);
    EXPECT_EQ(outputs(), (Names{"a.vqf", "b.vqf", "sub/c.vqf", "e.vqf"}));
    EXPECT_FALSE(exists("a.wav"));
}

TEST_F(CancelFaultTest, CancelBeforeTheFirstFileHandlesNothing) {
    convertSettings().deleteSource = true;
    job = ConvertJob{};
    job.encoder = &driver;
    job.listener = &listener;
    job.setUp(root);
    jobProgress().resetForEncoding();
    jobProgress().cancelRequested = true;
    job.run();
    EXPECT_EQ(successes(), 0);
    EXPECT_EQ(failures(), 0);
    EXPECT_TRUE(listener.outcomes.empty());
    EXPECT_TRUE(outputs().empty());
    expectAllSources();
}

TEST_F(CancelFaultTest, CancelMidFileRemovesItsOutputAndStopsTheWalk) {
    for (const bool keepPartial : {false, true}) {
        SCOPED_TRACE(keepPartial ? "keep partial" : "remove partial");
        convertSettings().deleteSource = true;
        convertSettings().keepPartialOnCancel = keepPartial;
        jobProgress().resetCounters();
        listener.outcomes.clear();
        strikeAtFrame("/b.wav", 3, [] { jobProgress().cancelRequested = true; });
        runJob("");

        EXPECT_EQ(successes(), 1);
        EXPECT_EQ(failures(), 1);
        ASSERT_EQ(listener.outcomes.size(), 2u);
        EXPECT_EQ(listener.outcomes[1].result, FileOutcome::Result::Cancelled);
        EXPECT_EQ(listener.outcomes[1].inputPath, at("b.wav"));
        // a.wav converted before the cancel and went as asked; b.wav was cancelled and stays.
        EXPECT_FALSE(exists("a.wav"));
        EXPECT_TRUE(exists("b.wav"));
        EXPECT_TRUE(exists("sub/c.wav"));
        EXPECT_TRUE(exists("e.mp3"));
        if (keepPartial) {
            EXPECT_EQ(outputs(), (Names{"a.vqf", "b.vqf"}));
            EXPECT_GT(fs::file_size(at("b.vqf")), 0u);
        } else {
            EXPECT_EQ(outputs(), (Names{"a.vqf"}));
        }
        // Back to the starting point for the second round.
        fs::remove(at("a.vqf"));
        fs::remove(at("b.vqf"));
        wav("a.wav");
    }
}

TEST_F(CancelFaultTest, CancelInASubfolderRestoresTheCurrentDirectory) {
    strikeAtFrame("/c.wav", 2, [] { jobProgress().cancelRequested = true; });
    runJob("");
    EXPECT_EQ(successes(), 2);
    EXPECT_EQ(failures(), 1);
    EXPECT_EQ(outputs(), (Names{"a.vqf", "b.vqf"}));
    expectAllSources();
    // TearDown checks the current directory.
}

TEST_F(CancelFaultTest, CancelBetweenFilesKeepsTheFinishedOnesAndStartsNoOther) {
    convertSettings().deleteSource = true;
    listener.onFileDone = [](const FileOutcome& outcome) {
        if (outcome.inputPath.ends_with("/a.wav"))
            jobProgress().cancelRequested = true;
    };
    runJob("");
    EXPECT_EQ(successes(), 1);
    EXPECT_EQ(failures(), 0);
    EXPECT_EQ(outputs(), (Names{"a.vqf"}));
    EXPECT_FALSE(exists("a.wav"));
    EXPECT_TRUE(exists("b.wav"));
    EXPECT_TRUE(exists("sub/c.wav"));
}

TEST_F(CancelFaultTest, CancelAtTheEndOfOnePassStartsNoLaterPass) {
    // sub/c.wav is the last file of the WAV pass; the MP3 pass must not begin.
    listener.onFileDone = [](const FileOutcome& outcome) {
        if (outcome.inputPath.ends_with("/c.wav"))
            jobProgress().cancelRequested = true;
    };
    runJob("");
    EXPECT_EQ(successes(), 3);
    EXPECT_EQ(failures(), 0);
    EXPECT_EQ(outputs(), (Names{"a.vqf", "b.vqf", "sub/c.vqf"}));
    expectAllSources();
}

TEST_F(CancelFaultTest, CancelOfASingleFileJobCountsItAndLeavesNoOutput) {
    strikeAtFrame("/a.wav", 1, [] { jobProgress().cancelRequested = true; });
    runJob("a.wav");
    EXPECT_EQ(successes(), 0);
    EXPECT_EQ(failures(), 1);
    EXPECT_TRUE(outputs().empty());
    expectAllSources();
}

}  // namespace
}  // namespace tembrel::test
