// Nothing lost, nothing misreported: tembrel-cli run as a user runs it, with outputs that
// already exist, runs that fail, are cancelled or killed, sources it cannot delete or
// that were cut short, and paths in every form a user types them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/byte_order.h"
#include "tests/support/read_only_folder.h"
#include "tests/support/test_support.h"

namespace tembrel::test {
namespace {

std::string text(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

class OutputsCliTest : public ::testing::Test {
  protected:
    // Runs tembrel-cli in the test folder after `prefix`.
    CommandResult cli(const std::string& args, const std::string& prefix = "") {
        return runCaptured(
            "cd '" + dir.path().string() + "' && " + prefix + "'" + TEMBREL_CLI + "' " + args,
            logs);
    }
    std::string at(const std::string& name) const { return dir.file(name); }
    void wav(const std::string& name, uint32_t rate = 22050, uint32_t frames = 22050) {
        writeWav(at(name), rate, 2, 16, sine(rate, 2, frames, 440.0));
    }
    // Names in the test folder that begin with "." (temporary files).
    std::vector<std::string> hidden() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            if (entry.path().filename().string().starts_with('.'))
                names.push_back(entry.path().filename().string());
        }
        return names;
    }
    // Signals tembrel-cli once it has created its temporary file; the wait status.
    int signalWhileWriting(const std::vector<std::string>& args, int signal) {
        return signalWhenReady(
            TEMBREL_CLI, args, dir.path(), [&] { return !hidden().empty(); }, signal);
    }

    TempDir dir;
    TempDir logs;
};

TEST_F(OutputsCliTest, FailedReencodeKeepsOldOutput) {
    wav("s48.wav", 48000);
    writeFile(at("s48.vqf"), "my only copy");
    CommandResult r = cli("encode s48.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(text(readFile(at("s48.vqf"))), "my only copy");

    // A full disk halfway through the new output.
    wav("big.wav", 44100, 44100);
    writeFile(at("big.vqf"), "my only copy");
    r = cli("encode big.wav", "ulimit -f 4; trap '' XFSZ; ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    EXPECT_EQ(text(readFile(at("big.vqf"))), "my only copy");
    EXPECT_TRUE(hidden().empty());
}

TEST_F(OutputsCliTest, EveryCommandCancelsOnInterruptTerminateAndHangup) {
    // Long enough to be caught halfway.
    wav("long.wav", 44100, 44100 * 40);
    ASSERT_EQ(cli("encode -q long.wav").status, 0);
    fs::rename(at("long.vqf"), at("src.vqf"));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        writeFile(at("long.vqf"), "my only copy");
        int status = signalWhileWriting({"encode", "long.wav"}, signal);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 130);
        EXPECT_EQ(text(readFile(at("long.vqf"))), "my only copy");
        EXPECT_TRUE(hidden().empty());

        writeFile(at("out.wav"), "my only copy");
        status = signalWhileWriting({"decode", "--force", "-o", "out.wav", "src.vqf"}, signal);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 130);
        EXPECT_EQ(text(readFile(at("out.wav"))), "my only copy");
        EXPECT_TRUE(hidden().empty());
    }
}

TEST_F(OutputsCliTest, KilledConversionLeavesNoTruncatedOutput) {
    wav("long.wav", 44100, 44100 * 20);
    const int status = signalWhileWriting({"encode", "long.wav"}, SIGKILL);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(fs::exists(at("long.vqf")));
    // What is left is hidden and has no extension a source or output has.
    const std::vector<std::string> left = hidden();
    ASSERT_EQ(left.size(), 1u);
    for (const char* extension : {".wav", ".mp3", ".rmp", ".vqf"})
        EXPECT_FALSE(left[0].ends_with(extension)) << left[0];
    const CommandResult r = cli("encode .");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 converted, 0 failed"), std::string::npos) << r.out;
}

TEST_F(OutputsCliTest, SourceThatCannotBeDeletedIsAWarningNotASuccess) {
    wav("keep.wav");
    ImmutableFile immutable(at("keep.wav"));
    if (!immutable.usable())
        GTEST_SKIP() << "cannot make a file immutable here";
    const CommandResult r = cli("encode --delete-source keep.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("converted with a warning: keep.wav -> keep.vqf"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1 converted (1 with a warning), 0 failed"), std::string::npos);
    EXPECT_EQ(r.err,
              "tembrel-cli: warning: keep.wav: the source could not be deleted: "
              "Operation not permitted\n");
    EXPECT_TRUE(fs::exists(at("keep.vqf")));
    EXPECT_TRUE(fs::exists(at("keep.wav")));
}

TEST_F(OutputsCliTest, PermissionsThatCannotBeCopiedAreAWarning) {
    wav("song.wav");
    fs::permissions(at("song.wav"), fs::perms(0640));
    // fchmod refuses the source's bits, as some file systems refuse permissions.
    const CommandResult r =
        cli("encode song.wav",
            "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 LD_PRELOAD='" +
                std::string(REFUSE_CHMOD_LIBRARY) + "' TEMBREL_TEST_REFUSED_MODE=640 ");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("warning: song.wav: the source's permissions could not be given to "
                         "song.vqf"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::exists(at("song.vqf")));
    EXPECT_TRUE(hidden().empty());
}

TEST_F(OutputsCliTest, SourceCutShortIsConvertedWithAWarningAndNeverDeleted) {
    // 2 s of 22050 Hz stereo; 1000 bytes of it hold 956 bytes of audio.
    wav("clip.wav", 22050, 44100);
    const std::vector<uint8_t> whole = readFile(at("clip.wav"));
    writeFile(at("t.wav"), std::vector<uint8_t>(whole.begin(), whole.begin() + 1000));
    CommandResult r = cli("encode --delete-source t.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "tembrel-cli: warning: t.wav: cut short: 0.011 s of 2.000 s; the source "
              "is kept\n");
    EXPECT_TRUE(fs::exists(at("t.wav")));
    EXPECT_TRUE(fs::exists(at("t.vqf")));

    // An MP3 whose information frame counts more frames than are there.
    if (haveTool("lame")) {
        ASSERT_EQ(run("lame --quiet -b 64 '" + at("clip.wav") + "' '" + at("m.mp3") + "'"), 0);
        const std::vector<uint8_t> mp3 = readFile(at("m.mp3"));
        writeFile(at("half.mp3"), std::vector<uint8_t>(mp3.begin(), mp3.begin() + mp3.size() / 2));
        r = cli("encode --delete-source half.mp3 m.mp3");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("half.mp3: cut short: "), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("m.mp3: cut short"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::exists(at("half.mp3")));
        EXPECT_FALSE(fs::exists(at("m.mp3")));
    }

    // The sizes stream writers leave say nothing: such a file is whole.
    for (const uint32_t placeholder : {0x7FFFF000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<uint8_t> streamed = whole;
        bytes::storeLE(std::span(streamed).subspan(4), placeholder, 4);
        bytes::storeLE(std::span(streamed).subspan(40), placeholder, 4);
        writeFile(at("streamed.wav"), streamed);
        r = cli("encode --delete-source streamed.wav");
        EXPECT_EQ(r.status, 0) << std::hex << placeholder << r.err;
        EXPECT_FALSE(fs::exists(at("streamed.wav")));
    }
}

TEST_F(OutputsCliTest, TwoSourcesOfOneStemClashHoweverTheirPathsAreGiven) {
    wav("x.wav");
    // An MP3 that would convert, so that only the clash check can stop it.
    ASSERT_TRUE(haveTool("lame"));
    ASSERT_EQ(run("lame --quiet -m m -b 32 '" + at("x.wav") + "' '" + at("x.mp3") + "'"), 0);
    fs::create_directory_symlink(dir.path(), logs.file("link"));
    const std::string absolute = dir.path().string();
    const std::string link = logs.file("link");
    const std::string forms[] = {
        "x.wav x.mp3",
        "./x.wav ./x.mp3",
        "x.wav '" + absolute + "/x.mp3'",
        "'" + link + "/x.wav' ./x.mp3",
        "'" + absolute + "/x.wav' '" + link + "/x.mp3'",
    };
    for (const std::string& paths : forms) {
        SCOPED_TRACE(paths);
        fs::remove(at("x.vqf"));
        const CommandResult r = cli("encode " + paths);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find("1 converted, 1 failed"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("was already written from another source"), std::string::npos);
        // The WAV file's conversion: stereo (the MP3 is mono).
        const std::vector<uint8_t> vqf = readFile(at("x.vqf"));
        ASSERT_GT(vqf.size(), 40u);
        EXPECT_EQ(bytes::readBE32(std::span(vqf).subspan(24, 4)), 1u);
    }
}

TEST_F(OutputsCliTest, NewOutputTakesTheSourcesBitsAndALinkIsReplacedAsAName) {
    wav("a.wav");
    wav("b.wav");
    fs::permissions(at("a.wav"), fs::perms(0604));
    writeFile(at("elsewhere.txt"), "not to be written");
    fs::create_symlink(at("elsewhere.txt"), at("a.vqf"));
    ASSERT_EQ(cli("encode a.wav").status, 0);
    EXPECT_FALSE(fs::is_symlink(at("a.vqf")));
    EXPECT_EQ(fs::status(at("a.vqf")).permissions(), fs::perms(0604));
    EXPECT_EQ(text(readFile(at("elsewhere.txt"))), "not to be written");
    // Without the source's bits: what the umask leaves of 0666.
    ASSERT_EQ(cli("encode --no-attributes b.wav", "umask 027; ").status, 0);
    EXPECT_EQ(fs::status(at("b.vqf")).permissions(), fs::perms(0640));
}

}  // namespace
}  // namespace tembrel::test
