// What an encoding job does around each conversion: counting, removing partial output,
// deleting sources, copying attributes, refusing clashes. A scripted encoder stands in
// for the codec so that every outcome can be forced.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "driver/convert_job.h"
#include "driver/convert_settings.h"
#include "driver/job_progress.h"
#include "job_fixture.h"
#include "test_support.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

// Writes "VQF" + the source's bytes into the output's temporary file, or does what the
// script says for a source name.
struct ScriptedEncoder : FileEncoder {
    enum class Act { Convert, FailBeforeOutput, FailAfterOutput, CancelMidway, CutShort };
    std::map<std::string, Act> script;  // by file name; Convert when absent
    std::vector<std::string> calls;
    std::array<int32_t, 6> rates{};
    bool nameFromFile = false;
    bool otherFormats = false;
    std::string reason;
    std::string warn;
    SafeReplace pending;

    void copyBitRates(std::span<const int32_t, 6> r) override {
        std::copy(r.begin(), r.end(), rates.begin());
    }
    void setNameFromFileName(bool on) override { nameFromFile = on; }
    void setConvertOtherFormats(bool on) override { otherFormats = on; }
    int encodeFile(const std::string& source, const std::string& output) override {
        calls.push_back(fs::path(source).filename().string());
        const auto it = script.find(calls.back());
        const Act act = it == script.end() ? Act::Convert : it->second;
        reason.clear();
        warn.clear();
        pending.abandon();
        if (act == Act::FailBeforeOutput) {
            reason = "refused";
            return 0;
        }
        pending = SafeReplace::create(output);
        const std::vector<uint8_t> pcm = readFile(source);
        EXPECT_TRUE(pending.write(test::bytesOf("VQF" + std::string(pcm.begin(), pcm.end()))));
        if (act == Act::FailAfterOutput)
            reason = "write failed";
        if (act == Act::CutShort)
            warn = "cut short: 0.006 s of 2.000 s";
        if (act == Act::CancelMidway)
            jobProgress().cancelRequested = true;
        return jobProgress().cancelRequested ? 1 : 0;
    }
    const std::string& failureReason() const override { return reason; }
    const std::string& warning() const override { return warn; }
    SafeReplace takeOutput() override { return std::move(pending); }
};

class PolicyTest : public test::JobTestBase {
  protected:
    std::string file(const std::string& name, std::string_view content = "pcm") {
        writeFile(root + "/" + name, content);
        return root + "/" + name;
    }
    ConvertJob& runJob(const std::string& path) {
        job = ConvertJob{};
        job.encoder = &encoder;
        job.setUp(path);
        job.run();
        return job;
    }
    bool exists(const std::string& name) { return fs::exists(root + "/" + name); }
    fs::perms perms(const std::string& name) {
        return fs::status(root + "/" + name).permissions() & fs::perms::mask;
    }

    ScriptedEncoder encoder;
    ConvertJob job;
};

TEST_F(PolicyTest, SingleFileConvertsBesideItsSourceAndReplacesAnOldOutput) {
    file("x.mp3");
    file("x.vqf", "old");
    convertSettings().bitRates = {8, 20, 40, 16, 40, 80};
    convertSettings().noSongTitle = true;
    convertSettings().convertOtherFormats = true;
    runJob(root + "/x.mp3");
    EXPECT_EQ(readFile(root + "/x.vqf"), test::bytesOf("VQFpcm"));
    EXPECT_TRUE(exists("x.mp3"));
    EXPECT_EQ(jobProgress().successCount, 1);
    EXPECT_EQ(jobProgress().failureCount, 0);
    EXPECT_EQ(encoder.rates, (std::array<int32_t, 6>{8, 20, 40, 16, 40, 80}));
    EXPECT_TRUE(encoder.nameFromFile);
    EXPECT_TRUE(encoder.otherFormats);
}

TEST_F(PolicyTest, CancelRemovesThePartialOutputUnlessAskedToKeepIt) {
    file("x.mp3");
    file("y.mp3");
    encoder.script["x.mp3"] = ScriptedEncoder::Act::CancelMidway;
    convertSettings().deleteSource = true;
    runJob(root);
    EXPECT_FALSE(exists("x.vqf"));
    EXPECT_TRUE(exists("x.mp3"));
    EXPECT_EQ(encoder.calls, (std::vector<std::string>{"x.mp3"}));
    EXPECT_EQ(jobProgress().failureCount, 1);
    EXPECT_EQ(jobProgress().successCount, 0);
    ASSERT_EQ(job.failures().size(), 1u);
    EXPECT_EQ(job.failures()[0].result, FileOutcome::Result::Cancelled);

    jobProgress().resetForEncoding();
    convertSettings().keepPartialOnCancel = true;
    runJob(root + "/x.mp3");
    EXPECT_TRUE(exists("x.vqf"));
    EXPECT_TRUE(exists("x.mp3"));
    EXPECT_EQ(jobProgress().failureCount, 1);
}

TEST_F(PolicyTest, CancelOfAReadOnlySourceStillRemovesItsPartialOutput) {
    file("x.wav");
    fs::permissions(root + "/x.wav", fs::perms::owner_read | fs::perms::group_read);
    encoder.script["x.wav"] = ScriptedEncoder::Act::CancelMidway;
    runJob(root + "/x.wav");
    EXPECT_FALSE(exists("x.vqf"));
    EXPECT_TRUE(exists("x.wav"));
}

TEST_F(PolicyTest, FailuresAreCountedKeepTheSourceAndLeaveNoPartialOutput) {
    file("a.wav");
    file("b.wav");
    file("c.wav");
    file("b.vqf", "older output");
    encoder.script["a.wav"] = ScriptedEncoder::Act::FailAfterOutput;
    encoder.script["b.wav"] = ScriptedEncoder::Act::FailBeforeOutput;
    convertSettings().deleteSource = true;
    runJob(root);
    EXPECT_FALSE(exists("a.vqf"));
    EXPECT_TRUE(exists("a.wav"));
    // Refused before the output was touched: an older output is left as it was.
    EXPECT_EQ(readFile(root + "/b.vqf"), test::bytesOf("older output"));
    EXPECT_TRUE(exists("b.wav"));
    EXPECT_TRUE(exists("c.vqf"));
    EXPECT_FALSE(exists("c.wav"));
    EXPECT_EQ(jobProgress().failureCount, 2);
    EXPECT_EQ(jobProgress().successCount, 1);
    ASSERT_EQ(job.failures().size(), 2u);
    EXPECT_EQ(job.failures()[0].reason, "write failed");
    EXPECT_EQ(job.failures()[1].reason, "refused");
}

TEST_F(PolicyTest, DeleteSourceRemovesReadOnlySourcesToo) {
    file("a.wav");
    fs::permissions(root + "/a.wav", fs::perms::owner_read);
    convertSettings().deleteSource = true;
    convertSettings().noAttributeInherit = true;
    runJob(root + "/a.wav");
    EXPECT_FALSE(exists("a.wav"));
    EXPECT_TRUE(exists("a.vqf"));
    EXPECT_EQ(jobProgress().successCount, 1);
}

TEST_F(PolicyTest, OutputTakesTheSourcesPermissionsUnlessDisabled) {
    file("a.wav");
    file("b.wav");
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read;
    fs::permissions(root + "/a.wav", readOnly);
    fs::permissions(root + "/b.wav", fs::perms::owner_read | fs::perms::owner_write);
    runJob(root + "/a.wav");
    EXPECT_EQ(perms("a.vqf"), readOnly);
    convertSettings().noAttributeInherit = true;
    runJob(root + "/b.wav");
    EXPECT_NE(perms("b.vqf"), perms("b.wav"));
    EXPECT_TRUE((perms("b.vqf") & fs::perms::owner_write) != fs::perms::none);
}

TEST_F(PolicyTest, TwoSourcesOfOneOutputNameNeverOverwriteEachOther) {
    file("a.wav", "first");
    file("a.mp3", "second");
    convertSettings().deleteSource = true;
    runJob(root);
    EXPECT_EQ(readFile(root + "/a.vqf"), test::bytesOf("VQFfirst"));
    EXPECT_FALSE(exists("a.wav"));
    EXPECT_TRUE(exists("a.mp3"));
    EXPECT_EQ(jobProgress().successCount, 1);
    EXPECT_EQ(jobProgress().failureCount, 1);
    ASSERT_EQ(job.failures().size(), 1u);
    EXPECT_NE(job.failures()[0].reason.find("a.vqf"), std::string::npos);
    EXPECT_EQ(encoder.calls, (std::vector<std::string>{"a.wav"}));
}

TEST_F(PolicyTest, JobsSharingARecordOfOutputsNeverOverwriteEachOther) {
    file("a.wav", "first");
    file("a.mp3", "second");
    OutputRecord shared;
    for (const char* name : {"a.wav", "a.mp3"}) {
        job = ConvertJob{};
        job.encoder = &encoder;
        job.sharedOutputs = &shared;
        job.setUp(root + "/" + name);
        job.run();
    }
    EXPECT_EQ(readFile(root + "/a.vqf"), test::bytesOf("VQFfirst"));
    ASSERT_EQ(job.failures().size(), 1u);
    EXPECT_NE(job.failures()[0].reason.find("already written"), std::string::npos);
    // A job of its own does not know what another job wrote.
    runJob(root + "/a.mp3");
    EXPECT_EQ(readFile(root + "/a.vqf"), test::bytesOf("VQFsecond"));
}

TEST_F(PolicyTest, AFileIsNeverConvertedOntoItself) {
    file("x.vqf", "stream");
    runJob(root + "/x.vqf");
    EXPECT_EQ(readFile(root + "/x.vqf"), test::bytesOf("stream"));
    EXPECT_TRUE(encoder.calls.empty());
    EXPECT_EQ(jobProgress().failureCount, 1);
}

TEST_F(PolicyTest, APathThatNamesNothingIsOneFailure) {
    file("a.wav");
    const fs::path before = fs::current_path();
    fs::current_path(root);
    runJob(root + "/missing");
    fs::current_path(before);
    EXPECT_TRUE(encoder.calls.empty());
    EXPECT_EQ(jobProgress().failureCount, 1);
    EXPECT_EQ(jobProgress().successCount, 0);
    ASSERT_EQ(job.failures().size(), 1u);
    EXPECT_EQ(job.failures()[0].inputPath, root + "/missing");
}

TEST_F(PolicyTest, FailedOrCancelledReencodeKeepsTheOldOutput) {
    file("a.wav");
    file("a.vqf", "my only copy");
    file("b.wav");
    file("b.vqf", "my only copy");
    encoder.script["a.wav"] = ScriptedEncoder::Act::FailAfterOutput;
    runJob(root + "/a.wav");
    encoder.script["b.wav"] = ScriptedEncoder::Act::CancelMidway;
    runJob(root + "/b.wav");
    EXPECT_EQ(readFile(root + "/a.vqf"), test::bytesOf("my only copy"));
    EXPECT_EQ(readFile(root + "/b.vqf"), test::bytesOf("my only copy"));
    // Nothing else is left beside them.
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 4);
}

TEST_F(PolicyTest, KeptPartialOutputNeverReplacesAnOlderOne) {
    file("x.wav", "part");
    file("x.vqf", "older");
    encoder.script["x.wav"] = ScriptedEncoder::Act::CancelMidway;
    convertSettings().keepPartialOnCancel = true;
    runJob(root + "/x.wav");
    EXPECT_EQ(readFile(root + "/x.vqf"), test::bytesOf("older"));
    EXPECT_EQ(readFile(root + "/x.partial.vqf"), test::bytesOf("VQFpart"));
    ASSERT_EQ(job.failures().size(), 1u);
    EXPECT_EQ(job.failures()[0].reason,
              "cancelled; the partial output is kept as " + root + "/x.partial.vqf");
}

TEST_F(PolicyTest, CutShortSourceIsConvertedWithAWarningAndNeverDeleted) {
    file("t.wav");
    file("u.wav");
    encoder.script["t.wav"] = ScriptedEncoder::Act::CutShort;
    convertSettings().deleteSource = true;
    runJob(root);
    EXPECT_TRUE(exists("t.vqf"));
    EXPECT_TRUE(exists("t.wav"));
    EXPECT_FALSE(exists("u.wav"));
    EXPECT_EQ(jobProgress().successCount, 2);
    EXPECT_EQ(jobProgress().failureCount, 0);
    EXPECT_TRUE(job.failures().empty());
    ASSERT_EQ(job.warnings().size(), 1u);
    EXPECT_EQ(job.warnings()[0].result, FileOutcome::Result::ConvertedWithWarning);
    EXPECT_EQ(job.warnings()[0].reason, "cut short: 0.006 s of 2.000 s; the source is kept");
}

TEST_F(PolicyTest, ClashIsFoundHoweverTheOutputPathIsGiven) {
    file("x.wav");
    file("x.mp3");
    fs::create_directory_symlink(root, root + "/link");
    const fs::path before = fs::current_path();
    fs::current_path(root);
    job = ConvertJob{};
    job.encoder = &encoder;
    for (const std::string& path : {std::string("x.wav"), root + "/link/./x.mp3"}) {
        job.setUp(path);
        job.run();
    }
    fs::current_path(before);
    EXPECT_EQ(readFile(root + "/x.vqf"), test::bytesOf("VQFpcm"));
    EXPECT_EQ(encoder.calls, (std::vector<std::string>{"x.wav"}));
    ASSERT_EQ(job.failures().size(), 1u);
    EXPECT_NE(job.failures()[0].reason.find("already written"), std::string::npos);
}

}  // namespace
}  // namespace tembrel
