// The command line under storage faults: decoding onto a full disk or into a folder that
// takes no new files fails that file with exit status 1, leaves neither a partial WAV file
// nor its temporary file behind, and never costs a WAV file that was already there.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/read_only_folder.h"
#include "tests/support/test_support.h"

namespace tembrel::test {
namespace {

class CliFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir.file("src"));
        fs::create_directories(dir.file("out"));
        // Two seconds of stereo: its WAV file is far larger than the limit below.
        writeWav(dir.file("src/song.wav"), 22050, 2, 16, sine(22050, 2, 44100, 440.0));
        ASSERT_EQ(cli("encode -q --no-sound '" + dir.file("src/song.wav") + "'"), 0);
        fs::rename(dir.file("src/song.vqf"), dir.file("out/song.vqf"));
    }
    int cli(const std::string& args, const std::string& prefix = "") {
        return run(prefix + "'" + TEMBREL_CLI + "' " + args + " >/dev/null 2>'" +
                   logs.file("err.txt") + "' </dev/null");
    }
    std::string err() const {
        const std::vector<uint8_t> e = readFile(logs.file("err.txt"));
        return std::string(e.begin(), e.end());
    }
    // Every entry of out/, hidden ones included.
    std::vector<std::string> outEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.file("out")))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    using Names = std::vector<std::string>;

    TempDir dir;
    TempDir logs;
};

// A file-size limit of a few KiB makes every write past it fail, as a full disk does.
constexpr const char* kFullDisk = "ulimit -f 16; trap '' XFSZ; ";

TEST_F(CliFaultTest, DecodeOnAFullDiskLeavesNothingBehind) {
    EXPECT_EQ(cli("decode '" + dir.file("out/song.vqf") + "'", kFullDisk), 1);
    EXPECT_NE(err().find("cannot write"), std::string::npos) << err();
    EXPECT_EQ(outEntries(), (Names{"song.vqf"}));
    // Without the fault the same command succeeds.
    EXPECT_EQ(cli("decode '" + dir.file("out/song.vqf") + "'"), 0) << err();
    EXPECT_EQ(outEntries(), (Names{"song.vqf", "song.wav"}));
}

TEST_F(CliFaultTest, ForcedDecodeOnAFullDiskKeepsTheOldFile) {
    writeFile(dir.file("out/song.wav"), "an older file that must survive");
    EXPECT_EQ(cli("decode --force '" + dir.file("out/song.vqf") + "'", kFullDisk), 1);
    EXPECT_EQ(outEntries(), (Names{"song.vqf", "song.wav"}));
    const std::vector<uint8_t> kept = readFile(dir.file("out/song.wav"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an older file that must survive");
}

TEST_F(CliFaultTest, DecodeAndEncodeIntoAReadOnlyFolderFailAndLeaveNothing) {
    fs::copy_file(dir.file("src/song.wav"), dir.file("out/other.wav"));
    ReadOnlyFolder readOnly(dir.file("out"));
    if (!readOnly.usable())
        GTEST_SKIP() << "cannot make a folder read-only here";
    EXPECT_EQ(cli("decode '" + dir.file("out/song.vqf") + "'"), 1);
    EXPECT_NE(err().find(dir.file("out")), std::string::npos) << err();
    EXPECT_EQ(cli("encode --no-sound --delete-source '" + dir.file("out/other.wav") + "'"), 1);
    EXPECT_NE(err().find("cannot create"), std::string::npos) << err();
    EXPECT_EQ(outEntries(), (Names{"other.wav", "song.vqf"}));
}

}  // namespace
}  // namespace tembrel::test
