// `tembrel-cli decode` and the VQF lines of `tembrel-cli info`, run as a user runs them.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/sources/vqf_test_file.h"
#include "tests/support/test_support.h"

namespace tembrel::test {
namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

class DecodeCliTest : public ::testing::Test {
  protected:
    CliRun cli(const std::string& args) {
        const std::string out = logs.file("out.txt");
        const std::string err = logs.file("err.txt");
        const int status = run(std::string("'") + TEMBREL_CLI + "' " + args + " >'" + out +
                               "' 2>'" + err + "' </dev/null");
        const std::vector<uint8_t> o = readFile(out);
        const std::vector<uint8_t> e = readFile(err);
        return {status, std::string(o.begin(), o.end()), std::string(e.begin(), e.end())};
    }
    std::string vqf(const std::string& name, const VqfTexts& texts = {}) {
        const std::string path = dir.file(name);
        fs::create_directories(fs::path(path).parent_path());
        EXPECT_GT(writeVqf(path, {16, 1, 16}, sine(16000, 1, 12000, 500.0), texts), 0);
        return path;
    }
    static bool isWav(const std::string& path) {
        const std::vector<uint8_t> b = readFile(path);
        return b.size() > 44 && std::string(b.begin(), b.begin() + 4) == "RIFF" &&
               std::string(b.begin() + 8, b.begin() + 12) == "WAVE";
    }

    TempDir dir;
    TempDir logs;
};

TEST_F(DecodeCliTest, DecodesBesideTheInputAndRefusesToReplaceWithoutForce) {
    VqfTexts texts;
    texts.name = "Title";
    const std::string a = vqf("a.vqf", texts);
    CliRun r = cli("decode '" + a + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isWav(dir.file("a.wav")));
    EXPECT_NE(r.out.find("a.wav"), std::string::npos);

    writeFile(dir.file("a.wav"), std::string("older"));
    r = cli("decode '" + a + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("exists"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir.file("a.wav")), bytesOf("older"));
    r = cli("decode --force '" + a + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isWav(dir.file("a.wav")));
}

TEST_F(DecodeCliTest, OutputNamesAFileForOneInputAndAFolderForSeveral) {
    const std::string a = vqf("in/a.vqf");
    const std::string b = vqf("in/b.vqf");
    CliRun r = cli("decode '" + a + "' -o '" + dir.file("single.wav") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isWav(dir.file("single.wav")));

    fs::create_directory(dir.path() / "out");
    r = cli("decode '" + a + "' '" + b + "' -o '" + dir.file("out") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isWav(dir.file("out/a.wav")));
    EXPECT_TRUE(isWav(dir.file("out/b.wav")));

    // Two inputs of one name into one folder: the second is refused, even with --force.
    const std::string other = vqf("other/a.vqf");
    fs::create_directory(dir.path() / "out2");
    r = cli("decode --force '" + a + "' '" + other + "' -o '" + dir.file("out2") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(isWav(dir.file("out2/a.wav")));
    EXPECT_NE(r.err.find(other), std::string::npos) << r.err;

    // Several inputs need an existing folder.
    r = cli("decode '" + a + "' '" + b + "' -o '" + dir.file("nowhere") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir.file("nowhere")));
}

TEST_F(DecodeCliTest, FailsPerFileAndGoesOnWithTheRest) {
    const std::string good = vqf("good.vqf");
    writeFile(dir.file("fake.vqf"), std::string("not audio"));
    writeWav(dir.file("plain.wav"), 8000, 1, 16, sine(8000, 1, 800, 300.0));
    const std::vector<uint8_t> plain = readFile(dir.file("plain.wav"));
    const CliRun r = cli("decode '" + dir.file("fake.vqf") + "' '" + dir.file("plain.wav") + "' '" +
                         dir.file("missing.vqf") + "' '" + good + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("fake.vqf: not a VQF file"), std::string::npos) << r.err;
    // plain.wav is its own default output and stays untouched.
    EXPECT_NE(r.err.find("plain.wav: the output would replace the input itself"), std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(dir.file("plain.wav")), plain);
    EXPECT_NE(r.err.find("missing.vqf"), std::string::npos) << r.err;
    EXPECT_TRUE(isWav(dir.file("good.wav")));
    EXPECT_FALSE(fs::exists(dir.file("fake.wav")));
}

TEST_F(DecodeCliTest, InfoShowsTheVqfHeader) {
    VqfTexts texts;
    texts.name = "\x83\x65\x83\x58\x83\x67";  // "テスト" in CP932
    texts.comment = "Line one\nline two";
    const std::string a = vqf("info.vqf", texts);
    const CliRun r = cli("info '" + a + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* line :
         {"  kind: VQF\n", "  version id: TWIN97012000\n", "  channel mode: 0\n",
          "  bit rate: 16 kbit/s\n", "  sampling rate: 16 kHz\n", "  security level: 0\n",
          "  \"NAME\": テスト\n", "  \"COMT\": Line one line two\n", "  frames: "}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
    }
}

}  // namespace
}  // namespace tembrel::test
