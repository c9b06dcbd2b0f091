// `tembrel-cli tag` on VQF files our encoder made: what it shows, what it saves, its exit
// status, and that a signal during a run leaves every file old or new, never half done.
#include "cli/tag_command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "test_support.h"
#include "tests/tagedit/vqf_parts.h"

namespace tembrel::test {
namespace {

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// The encoder's file with its title (the second chunk) replaced.
std::vector<uint8_t> withTitle(const std::string& cp932, std::size_t extraFrameBytes = 0) {
    VqfParts parts = encodedVqf();
    parts.chunks.at(1) = {"NAME", cp932};
    parts.frameData.resize(parts.frameData.size() + extraFrameBytes, 0x5A);
    return bytesOf(parts);
}

const std::string kTitle = "\x89\x4a\x82\xcc\x89\xcc";  // 雨の歌

TEST(TagCommand, ShowsTheTextsAndSavesOnlyTheOptionsGiven) {
    TempDir dir;
    const std::string song = dir.file("song.vqf");
    const std::string junk = dir.file("junk.vqf");
    writeFile(song, withTitle(kTitle));
    writeFile(junk, "this is not a VQF file");
    const std::string shown = song +
                              "\n"
                              "  \"NAME\" title: 雨の歌\n"
                              "  \"AUTH\" author: 作者\n"
                              "  \"(c) \" copyright:\n"
                              "  \"FILE\" file:\n"
                              "  \"COMT\" comment: comment\n"
                              "  \"EXTR\" extra:\n";
    struct Case {
        const char* name;
        std::vector<std::string> paths;
        std::map<std::string, std::string> edits;  // by chunk id
        int status;
        std::string out;
        std::string err;
        std::vector<uint8_t> songAfter;
    };
    VqfParts edited = encodedVqf();
    edited.chunks.erase(edited.chunks.begin() + 1);                                // no NAME
    edited.chunks.insert(edited.chunks.begin() + 3, {"EXTR", "a\\b\nc\x81\x60"});  // after AUTH
    const Case cases[] = {
        {"shown", {song}, {}, 0, shown, "", withTitle(kTitle)},
        {"title removed, extra set, the rest untouched; a bad file fails alone",
         {junk, song},
         {{"NAME", ""}, {"EXTR", "a\\b\nc～"}},
         1,
         song + "\n"
                "  \"NAME\" title:\n"
                "  \"AUTH\" author: 作者\n"
                "  \"(c) \" copyright:\n"
                "  \"FILE\" file:\n"
                "  \"COMT\" comment: comment\n"
                "  \"EXTR\" extra: a\\\\b\\nc～\n",
         "tembrel-cli: " + junk + ": 読み込めません。演奏中かもしれません。 (not a VQF file)\n",
         bytesOf(edited)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cli::TagRequest request;
        request.paths = c.paths;
        for (const auto& [id, text] : c.edits)
            request.edits[*tagedit::textIndex(id)] = text;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(cli::runTag(request, out, err), c.status);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
        EXPECT_EQ(readFile(song), c.songAfter);
        EXPECT_EQ(readFile(junk), bytesOf("this is not a VQF file"));
        EXPECT_EQ(namesIn(dir.path()).size(), 2u);
    }
}

// Runs tembrel-cli in `folder` with `args`; its pid.
pid_t spawnCli(const std::string& folder, std::vector<std::string> args) {
    args.insert(args.begin(), TEMBREL_CLI);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, TEMBREL_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int exitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(TagCli, ExitStatusAndNoFallThroughToEncoding) {
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"tag", "x.vqf"}, 1},                        // not a VQF file: never encoded
        {{"tag", "x.wav"}, 1},                        //
        {{"tag"}, 2},                                 // no file
        {{"tag", "--title", "\xff", "song.vqf"}, 2},  // not UTF-8
        {{"tag", "--title", "café", "song.vqf"}, 1},  // CP932 lacks é
        {{"tag", "--bogus", "song.vqf"}, 2},
        {{"tag", "./song.vqf"}, 0},
    };
    TempDir dir;
    writeFile(dir.file("x.vqf"), "RIFF");
    writeWav(dir.file("x.wav"), 22050, 1, 16, sine(22050, 1, 2205, 440.0));
    writeFile(dir.file("song.vqf"), withTitle(kTitle));
    const std::set<std::string> names = namesIn(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(exitStatus(spawnCli(dir.path().string(), c.args)), c.status);
        EXPECT_EQ(namesIn(dir.path()), names);
        EXPECT_EQ(readFile(dir.file("x.vqf")), bytesOf("RIFF"));
        EXPECT_EQ(readFile(dir.file("song.vqf")), withTitle(kTitle));
    }
}

// True once the run has begun saving: a temporary file is there or the first file has
// been replaced. Before that a signal would end the program before it set its handlers.
bool savingBegun(const TempDir& dir, std::size_t files, ino_t firstInode) {
    struct stat st {};
    return namesIn(dir.path()).size() > files ||
           (stat(dir.file("s0.vqf").c_str(), &st) == 0 && st.st_ino != firstInode);
}

TEST(TagCli, SignalDuringARunLeavesEveryFileOldOrNew) {
    // Files large enough that a run takes a while.
    constexpr std::size_t kFiles = 10;
    constexpr std::size_t kFrameBytes = 1 << 20;
    const std::vector<uint8_t> before = withTitle(kTitle, kFrameBytes);
    const std::vector<uint8_t> after = withTitle("new", kFrameBytes);
    int interrupted = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (int delayMs : {0, 20}) {
            SCOPED_TRACE(std::to_string(signal) + " after " + std::to_string(delayMs) + " ms");
            TempDir dir;
            std::vector<std::string> args = {"tag", "--title", "new"};
            for (std::size_t i = 0; i < kFiles; ++i) {
                args.push_back("s" + std::to_string(i) + ".vqf");
                writeFile(dir.file(args.back()), before);
            }
            const std::set<std::string> names = namesIn(dir.path());
            struct stat first {};
            ASSERT_EQ(stat(dir.file("s0.vqf").c_str(), &first), 0);
            const pid_t pid = spawnCli(dir.path().string(), args);
            for (int i = 0; i < 20000 && !savingBegun(dir, kFiles, first.st_ino); ++i)
                std::this_thread::sleep_for(std::chrono::microseconds(250));
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            kill(pid, signal);
            const int status = exitStatus(pid);
            EXPECT_TRUE(status == 130 || status == 0) << status;
            interrupted += status == 130;
            EXPECT_EQ(namesIn(dir.path()), names);
            std::size_t saved = 0;
            for (std::size_t i = 0; i < kFiles; ++i) {
                const std::vector<uint8_t> now = readFile(dir.file(args[3 + i]));
                EXPECT_TRUE(now == before || now == after) << args[3 + i];
                saved += now == after;
            }
            if (status == 0) {
                EXPECT_EQ(saved, kFiles);
            }
        }
    }
    EXPECT_GT(interrupted, 0) << "no run was interrupted: the files are saved too fast";
}

}  // namespace
}  // namespace tembrel::test
