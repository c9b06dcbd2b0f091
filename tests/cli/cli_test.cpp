// The command-line program, run as a user runs it, on generated files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "platform/byte_order.h"
#include "test_support.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;
using Bytes = std::vector<uint8_t>;

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
  protected:
    // Runs tembrel-cli with the arguments (already quoted as needed) under `prefix`.
    CliRun cli(const std::string& args, const std::string& prefix = "") {
        const std::string out = logs.file("out.txt");
        const std::string err = logs.file("err.txt");
        const std::string command = prefix + quoted(TEMBREL_CLI) + " " + args + " >" + quoted(out) +
                                    " 2>" + quoted(err) + " </dev/null";
        const int status = test::run(command);
        const Bytes o = readFile(out);
        const Bytes e = readFile(err);
        return {status, std::string(o.begin(), o.end()), std::string(e.begin(), e.end())};
    }
    std::string at(const std::string& name) { return dir.file(name); }
    void wav(const std::string& name, uint32_t rate = 22050, uint16_t channels = 2,
             uint32_t frames = 22050) {
        fs::create_directories(fs::path(at(name)).parent_path());
        test::writeWav(at(name), rate, channels, 16, test::sine(rate, channels, frames, 440.0));
    }
    void wav24(const std::string& name) {
        Bytes out = {'R', 'I', 'F', 'F'};
        bytes::appendLE(out, 36 + 600, 4);
        out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        for (auto [v, w] : std::vector<std::pair<uint32_t, int>>{
                 {16, 4}, {1, 2}, {1, 2}, {8000, 4}, {24000, 4}, {3, 2}, {24, 2}}) {
            bytes::appendLE(out, v, w);
        }
        out.insert(out.end(), {'d', 'a', 't', 'a'});
        bytes::appendLE(out, 600, 4);
        out.resize(out.size() + 600, 0);
        writeFile(at(name), out);
    }
    static int count(const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    }

    TempDir dir;
    TempDir logs;
};

TEST_F(CliTest, InfoShowsKindFormatDataRangeAndTagsAsUtf8) {
    wav("song.wav", 22050, 2, 1000);
    // A RIFF "LIST" "INFO" title in CP932: "Song " and the character for "tune".
    Bytes file = readFile(at("song.wav"));
    const Bytes list = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M',  8,    0,
                        0,   0,   'S', 'o', 'n', 'g', ' ', 0x8B, 0xC8, 0};
    file.insert(file.end(), {'L', 'I', 'S', 'T'});
    bytes::appendLE(file, uint32_t(list.size()), 4);
    file.insert(file.end(), list.begin(), list.end());
    bytes::storeLE(std::span(file).subspan(4, 4), uint32_t(file.size() - 8), 4);
    writeFile(at("song.wav"), file);

    const CliRun r = cli("info " + quoted(at("song.wav")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* line :
         {"kind: WAV\n", "wFormatTag: 1\n", "nChannels: 2\n", "nSamplesPerSec: 22050\n",
          "nAvgBytesPerSec: 88200\n", "nBlockAlign: 4\n", "wBitsPerSample: 16\n", "cbSize: 0\n",
          "length: 4000 bytes\n", "data: offset 44, 4000 bytes\n", "title: Song 曲\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
    }
    EXPECT_EQ(r.out.find("artist:"), std::string::npos);
}

TEST_F(CliTest, InfoReportsEachProblemOnOneLineAndShowsTheOtherFiles) {
    // Not audio, but with an ID3v1 block whose title is still shown.
    Bytes junk = test::bytesOf("plain text, no audio here");
    Bytes tag(128, 0);
    std::memcpy(tag.data(), "TAGJunk title", 13);
    junk.insert(junk.end(), tag.begin(), tag.end());
    writeFile(at("junk.wav"), junk);
    wav("good.wav");
    ASSERT_EQ(mkfifo(at("fifo.wav").c_str(), 0600), 0);

    const CliRun r = cli("info " + quoted(at("junk.wav")) + " " + quoted(at("missing.wav")) + " " +
                         quoted(at("fifo.wav")) + " " + quoted(at("good.wav")));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(count(r.err, "\n"), 3) << r.err;
    EXPECT_NE(r.err.find("tembrel-cli: " + at("fifo.wav") + ": not a regular file"),
              std::string::npos);
    EXPECT_NE(r.err.find("tembrel-cli: " + at("junk.wav") + ": "), std::string::npos);
    EXPECT_NE(r.err.find("tembrel-cli: " + at("missing.wav") + ": "), std::string::npos);
    EXPECT_NE(r.out.find("kind: none"), std::string::npos);
    EXPECT_NE(r.out.find("title: Junk title"), std::string::npos);
    EXPECT_NE(r.out.find(at("good.wav") + "\n  kind: WAV"), std::string::npos) << r.out;
}

TEST_F(CliTest, UsageErrorsNameWhatIsAllowed) {
    wav("a.wav");
    CliRun r = cli("encode --mono-11k 12 " + quoted(at("a.wav")));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("8 or 10"), std::string::npos) << r.err;
    r = cli("encode --stereo-22k 96 " + quoted(at("a.wav")));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("40, 48 or 64"), std::string::npos) << r.err;
    EXPECT_EQ(cli("encode").status, 2);
    EXPECT_EQ(cli("info").status, 2);
    EXPECT_EQ(cli("encode --types aiff " + quoted(at("a.wav"))).status, 2);
    EXPECT_EQ(cli("--no-such-option " + quoted(at("a.wav"))).status, 2);
    EXPECT_FALSE(fs::exists(at("a.vqf")));
    EXPECT_EQ(cli("--help").status, 0);
}

TEST_F(CliTest, VersionIsTheProjectVersion) {
    const CliRun r = cli("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("tembrel-cli ") + TEMBREL_VERSION + "\n");
}

// The program's own options count only as the first argument; a file named like a
// subcommand is reached as ./NAME, as --help tells.
TEST_F(CliTest, FileNamedLikeASubcommandIsGivenAsDotSlashName) {
    const CliRun help = cli("--help");
    EXPECT_NE(help.out.find("./NAME (./info, ./decode, ./encode"), std::string::npos) << help.out;
    const CliRun all = cli("--help-all");
    EXPECT_EQ(all.status, 0);
    EXPECT_NE(all.out.find("--stereo-44k"), std::string::npos) << all.out;

    wav("info", 11025, 1, 2000);
    const CliRun r = cli("-q ./info", "cd " + quoted(dir.path()) + " && ");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(at("info.vqf")));
}

TEST_F(CliTest, EncodeReportsEveryFailureAndExitsNonZero) {
    wav("music/good.wav");
    wav24("music/deep.wav");
    const CliRun r = cli("encode " + quoted(at("music")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("converted: " + at("music/good.wav") + " -> " + at("music/good.vqf")),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("failed: " + at("music/deep.wav") + ": 24-bit"), std::string::npos);
    EXPECT_NE(r.out.find("1 converted, 1 failed\n"), std::string::npos);
    EXPECT_EQ(r.err, "tembrel-cli: " + at("music/deep.wav") +
                         ": 24-bit samples: only 8- and 16-bit samples convert; "
                         "--convert-other-formats converts them\n");
    EXPECT_TRUE(fs::exists(at("music/good.vqf")));
    EXPECT_FALSE(fs::exists(at("music/deep.vqf")));

    const CliRun missing = cli("encode " + quoted(at("nothing")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(at("nothing")), std::string::npos);
}

TEST_F(CliTest, TwoSourcesOfOneNameOnTheCommandLineDoNotReplaceEachOthersOutput) {
    wav("a.wav");
    writeFile(at("a.mp3"), "would replace a.vqf if it converted");
    const CliRun r = cli("encode " + quoted(at("a.wav")) + " " + quoted(at("a.mp3")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("1 converted, 1 failed"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(at("a.mp3") + ": " + at("a.vqf") + " was already written"),
              std::string::npos)
        << r.err;
    const Bytes vqf = readFile(at("a.vqf"));
    ASSERT_GT(vqf.size(), 40u);
    EXPECT_EQ(std::string(vqf.begin(), vqf.begin() + 4), "TWIN");
}

TEST_F(CliTest, EncodeOptionsReachTheJob) {
    wav("t/a.wav");
    writeFile(at("t/c.RMP"), "not audio");
    CliRun r = cli("encode --types mp3,RMP " + quoted(at("t")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("failed: " + at("t/c.RMP")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0 converted, 1 failed"), std::string::npos);
    EXPECT_FALSE(fs::exists(at("t/a.vqf")));

    wav("m/a.wav");
    wav("m/sub/b.wav");
    r = cli("encode -q --skip-subfolders --delete-source --stereo-22k 40 " + quoted(at("m")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fs::exists(at("m/a.vqf")));
    EXPECT_FALSE(fs::exists(at("m/a.wav")));
    EXPECT_FALSE(fs::exists(at("m/sub/b.vqf")));
    // COMM: channel mode 1, then the chosen bit rate.
    const Bytes vqf = readFile(at("m/a.vqf"));
    ASSERT_GT(vqf.size(), 40u);
    EXPECT_EQ(std::string(vqf.begin() + 16, vqf.begin() + 20), "COMM");
    EXPECT_EQ(bytes::readBE32(std::span(vqf).subspan(28, 4)), 40u);
}

// FLAC and Ogg files are searched only when their types are chosen (ogg takes .opus too),
// and convert when named; rates and widths VQF lacks take --convert-other-formats, which
// info tells about.
TEST_F(CliTest, FlacAndOggTypesAndTheSwitchForOtherFormats) {
    ASSERT_TRUE(test::haveTool("flac") && test::haveTool("oggenc") && test::haveTool("opusenc"));
    wav("f/a.wav", 44100);
    wav("f/hz48.wav", 48000);
    const std::string f = quoted(at("f"));
    ASSERT_EQ(test::run("cd " + f + " && flac -s -o b.flac a.wav && oggenc -Q -o c.ogg a.wav && " +
                        "opusenc --quiet a.wav d.opus"),
              0);
    CliRun r = cli("encode " + f);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("1 converted, 1 failed"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "tembrel-cli: " + at("f/hz48.wav") +
                         ": 48000 Hz: only 8, 11.025, 16, 22.05 and 44.1 kHz convert; "
                         "--convert-other-formats resamples it to 44100 Hz\n");
    EXPECT_FALSE(fs::exists(at("f/hz48.vqf")));
    EXPECT_FALSE(fs::exists(at("f/b.vqf")));

    r = cli("encode --types flac,ogg " + f);
    EXPECT_NE(r.out.find("2 converted, 1 failed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("failed: " + at("f/d.opus") + ": 48000 Hz"), std::string::npos);
    r = cli("encode --types wav,ogg --convert-other-formats " + f);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("4 converted, 0 failed"), std::string::npos) << r.out;
    for (const char* out : {"f/a.vqf", "f/hz48.vqf", "f/b.vqf", "f/c.vqf", "f/d.vqf"})
        EXPECT_TRUE(fs::exists(at(out))) << out;

    r = cli("info " + quoted(at("f/d.opus")) + " " + quoted(at("f/b.flac")));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count(r.out, "  kind: FLAC/Ogg\n"), 2) << r.out;
    EXPECT_EQ(count(r.out,
                    "  conversion: resampled from 48000 Hz to 44100 Hz (with "
                    "--convert-other-formats)\n"),
              1);
    EXPECT_EQ(count(r.out, "conversion:"), 1);

    // Renaming takes them when their types are chosen, after their Vorbis comments.
    ASSERT_EQ(
        test::run("metaflac --set-tag=TITLE=雨 --set-tag=TRACKNUMBER=2 " + quoted(at("f/b.flac"))),
        0);
    r = cli("rename --dry-run --types flac " + f);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" ---> " + at("f/02.[]-雨.flac")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 would be renamed"), std::string::npos) << r.out;
}

TEST_F(CliTest, ShortFormEncodesWhatIsNoVqfFile) {
    wav("x.wav");
    const CliRun r = cli(quoted(at("x.wav")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(at("x.vqf")));
    EXPECT_EQ(cli(quoted(at("missing.VQF"))).status, 1);
}

TEST_F(CliTest, ShortFormShowsVqfFilesAndEncodesTheRest) {
    wav("x.wav");
    CliRun r = cli(quoted(at("x.wav")));
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(at("x.vqf")));
    const Bytes before = readFile(at("x.vqf"));
    fs::copy_file(at("x.vqf"), at("Y.VQF"));
    r = cli(quoted(at("Y.VQF")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind(at("Y.VQF") + "\n  kind: VQF\n", 0), 0u) << r.out;
    EXPECT_EQ(readFile(at("Y.VQF")), before);
    EXPECT_EQ(r.out.find("converted"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(at("Y.vqf")));
}

TEST_F(CliTest, FullDiskFailsTheFileAndRemovesThePartialOutput) {
    wav("big.wav", 44100, 2, 44100);
    // A file-size limit of 1 KiB makes every write past it fail, as a full disk does.
    const CliRun r = cli("encode " + quoted(at("big.wav")), "ulimit -f 1; trap '' XFSZ; ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write " + at("big.vqf")), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(at("big.vqf")));
    EXPECT_TRUE(fs::exists(at("big.wav")));
}

// Starts tembrel-cli with the arguments, its standard output into a pipe whose reading end
// is returned in `output`, standard error to /dev/null (not a terminal, so that the
// program writes plain lines).
pid_t startCli(const std::vector<std::string>& args, int& output) {
    int out[2];
    if (pipe(out) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        test::execProgram(TEMBREL_CLI, args);
    }
    close(out[1]);
    output = out[0];
    return pid;
}

TEST_F(CliTest, InterruptCancelsLikeTheCancelButton) {
    for (int i = 0; i < 16; ++i)
        wav("many/f" + std::to_string(10 + i) + ".wav", 44100, 2, 44100);
    int output = -1;
    const pid_t pid = startCli({"encode", at("many")}, output);
    ASSERT_GE(pid, 0);
    std::FILE* stream = fdopen(output, "r");
    ASSERT_NE(stream, nullptr);
    std::string text;
    char line[4096];
    bool sent = false;
    while (std::fgets(line, sizeof line, stream) != nullptr) {
        text += line;
        if (!sent && std::string(line).starts_with("converted: ")) {
            kill(pid, SIGINT);
            sent = true;
        }
    }
    std::fclose(stream);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << text;
    // Only completed files have outputs; every source is still there.
    int outputs = 0;
    int sources = 0;
    for (const auto& entry : fs::directory_iterator(at("many"))) {
        if (entry.path().extension() == ".vqf")
            ++outputs;
        if (entry.path().extension() == ".wav")
            ++sources;
    }
    EXPECT_EQ(outputs, count(text, "converted: "));
    EXPECT_LT(outputs, 16);
    EXPECT_EQ(sources, 16);
    EXPECT_NE(text.find("cancelled"), std::string::npos);
}

// A file that tags itself with an ID3v1.1 block; "" gives no tags at all.
void song(const std::string& path, const std::string& title, int track = 7) {
    fs::create_directories(fs::path(path).parent_path());
    Bytes bytes = test::bytesOf("audio of " + path);
    if (!title.empty()) {
        Bytes tag(128, 0);
        std::memcpy(tag.data(), "TAG", 3);
        std::memcpy(tag.data() + 3, title.data(), std::min<std::size_t>(title.size(), 30));
        tag[126] = uint8_t(track);
        bytes.insert(bytes.end(), tag.begin(), tag.end());
    }
    writeFile(path, bytes);
}

// Every file under `folder` by its relative path, with its contents.
std::map<std::string, Bytes> tree(const std::string& folder) {
    std::map<std::string, Bytes> out;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            out[fs::relative(entry.path(), folder).string()] = readFile(entry.path());
    }
    return out;
}

// The output without its last line (the summary).
std::string withoutSummary(const std::string& out) {
    return out.substr(0, out.rfind('\n', out.size() - 2) + 1);
}

TEST_F(CliTest, RenameDryRunTellsWhatTheRunDoesAndUndoTakesItBack) {
    song(at("music/a.mp3"), "Rain");
    song(at("music/b.mp3"), "Rain");
    song(at("music/c.mp3"), "");
    song(at("music/sub/d.mp3"), "Deep", 2);
    const auto before = tree(at("music"));
    const std::string inDir = "cd " + quoted(dir.path().string()) + " && ";

    const CliRun dry = cli("rename --pattern 1 --dry-run music", inDir);
    EXPECT_EQ(dry.status, 1);
    EXPECT_EQ(tree(at("music")), before);
    const CliRun real = cli("rename --pattern 1 music", inDir);
    EXPECT_EQ(real.status, 1);
    EXPECT_EQ(withoutSummary(real.out), withoutSummary(dry.out));
    EXPECT_EQ(real.err, dry.err);
    const std::string music = fs::canonical(at("music")).string();
    EXPECT_NE(real.out.find("成功: " + music + "/a.mp3\n ---> " + music + "/07.Rain.mp3\n"),
              std::string::npos)
        << real.out;
    EXPECT_NE(real.out.find("失敗: " + music + "/c.mp3\n ---> (タイトルなし)\n"),
              std::string::npos);
    auto after = tree(at("music"));
    ASSERT_EQ(after.erase("tembrel-rename.log"), 1u);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : after)
        names.push_back(name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"07.Rain.mp3", "b.mp3", "c.mp3", "sub/02.Deep.mp3"}));

    EXPECT_EQ(cli("rename --undo music/tembrel-rename.log --dry-run", inDir).status, 0);
    EXPECT_EQ(tree(at("music")).count("a.mp3"), 0u);
    const CliRun undo = cli("rename --undo music/tembrel-rename.log", inDir);
    EXPECT_EQ(undo.status, 0) << undo.err;
    auto restored = tree(at("music"));
    restored.erase("tembrel-rename.log");
    EXPECT_EQ(restored, before);
    EXPECT_EQ(cli("rename --undo music/tembrel-rename.log", inDir).status, 1);
}

TEST_F(CliTest, RenameUsageErrors) {
    song(at("a.mp3"), "Rain");
    for (const std::string args : {"rename", "rename --undo x a", "rename --pattern 4 a",
                                   "rename --types aiff a", "rename --undo x --pattern 1"}) {
        EXPECT_EQ(cli(args).status, 2) << args;
    }
    EXPECT_TRUE(fs::exists(at("a.mp3")));
}

TEST_F(CliTest, RenameHangUpStopsAfterTheFileInHandAndTheLogAgrees) {
    constexpr int kFiles = 1500;  // far more lines than a pipe holds unread
    for (int i = 0; i < kFiles; ++i)
        song(at("many/f" + std::to_string(10000 + i) + ".mp3"), "T" + std::to_string(10000 + i));
    int output = -1;
    const pid_t pid = startCli({"rename", "--pattern", "0", at("many")}, output);
    ASSERT_GE(pid, 0);
    char first[1];
    ASSERT_EQ(read(output, first, 1), 1);
    kill(pid, SIGHUP);
    char drain[4096];
    while (read(output, drain, sizeof drain) > 0) {
    }
    close(output);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);

    // Every rename the log records was made, and no other.
    const Bytes log = readFile(at("many/tembrel-rename.log"));
    std::istringstream lines(std::string(log.begin(), log.end()));
    std::string line;
    int moves = 0;
    while (std::getline(lines, line)) {
        if (line.starts_with("#"))
            continue;
        ++moves;
        const std::string from = line.substr(0, line.find('\t'));
        EXPECT_FALSE(fs::exists(from)) << from;
        EXPECT_TRUE(fs::exists(line.substr(line.find('\t') + 1))) << line;
    }
    int renamed = 0;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(at("many"))) {
        files += entry.path().extension() == ".mp3";
        renamed += entry.path().filename().string().starts_with("T");
    }
    EXPECT_EQ(files, kFiles);
    EXPECT_EQ(renamed, moves);
    EXPECT_LT(moves, kFiles);
}

}  // namespace
}  // namespace tembrel
