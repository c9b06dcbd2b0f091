// Several files at once: tembrel-cli -j N, run as a user runs it, must give exactly what a
// run of one file at a time gives (outputs, lines, failures, counts), and stay as safe
// with the user's files when cancelled or when one of its workers dies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "driver/convert_settings.h"
#include "driver/encode_worker.h"
#include "driver/worker_messages.h"
#include "platform/byte_order.h"
#include "platform/child_process.h"
#include "tests/support/test_support.h"

namespace tembrel::test {
namespace {

using Files = std::map<std::string, std::vector<uint8_t>>;

// Every file under `root` whose name ends in `extension` (all when empty), by relative path.
Files filesUnder(const fs::path& root, const std::string& extension = "") {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.ends_with(extension))
            files[fs::relative(entry.path(), root).string()] = readFile(entry.path());
    }
    return files;
}

// Names anywhere under `root` that begin with "." (temporary files).
std::vector<std::string> hiddenUnder(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().starts_with('.'))
            names.push_back(entry.path().string());
    }
    return names;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         from = end + 1, end = text.find('\n', from))
        lines.push_back(text.substr(from, end - from));
    return lines;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A RIFF "RMP3" file whose "data" chunk holds an MPEG stream.
std::vector<uint8_t> rmpAround(const std::vector<uint8_t>& mp3) {
    std::vector<uint8_t> data = bytesOf("RMP3data");
    bytes::appendLE(data, uint32_t(mp3.size()), 4);
    data.insert(data.end(), mp3.begin(), mp3.end());
    if (mp3.size() % 2 != 0)
        data.push_back(0);
    std::vector<uint8_t> riff = bytesOf("RIFF");
    bytes::appendLE(riff, uint32_t(data.size()), 4);
    riff.insert(riff.end(), data.begin(), data.end());
    return riff;
}

class ParallelCliTest : public ::testing::Test {
  protected:
    std::string cliCommand(const std::string& args, const std::string& prefix = "") const {
        return "cd '" + dir.path().string() + "' && " + prefix + "'" + TEMBREL_CLI + "' " + args;
    }
    CommandResult cli(const std::string& args, const std::string& prefix = "") {
        return runCaptured(cliCommand(args, prefix), logs);
    }
    std::string at(const std::string& name) const { return dir.file(name); }
    void wav(const std::string& name, uint32_t rate, uint16_t channels, double seconds,
             uint16_t bits = 16) {
        fs::create_directories(fs::path(at(name)).parent_path());
        writeWav(at(name), rate, channels, bits,
                 sine(rate, channels, uint32_t(rate * seconds), 300.0 + 37.0 * name.size()));
    }

    // Twelve files of every kind in a small tree: WAV at several rates, MP3, RMP, a VQF
    // file under a source's name, one that is no audio, and a "header_info" folder that
    // serves only its own folder.
    void makeMixedFolder(const std::string& root) {
        ASSERT_TRUE(haveTool("lame"));
        wav(root + "/a.wav", 44100, 2, 1.5);
        wav(root + "/b.wav", 22050, 1, 0.7);
        wav(root + "/c.wav", 11025, 2, 2.0);
        wav(root + "/sub/f.wav", 44100, 1, 1.0);
        wav(root + "/sub/g.wav", 8000, 2, 0.5);
        wav(root + "/sub/k.wav", 11025, 1, 0.9, 8);
        wav(root + "/sub/deeper/i.wav", 16000, 1, 1.2);
        wav("mp3src.wav", 22050, 2, 1.3);
        ASSERT_EQ(run("lame --quiet -b 64 --tt 'Tagged' '" + at("mp3src.wav") + "' '" +
                      at(root + "/d.mp3") + "'"),
                  0);
        ASSERT_EQ(
            run("lame --quiet -b 32 '" + at("mp3src.wav") + "' '" + at(root + "/sub/h.mp3") + "'"),
            0);
        writeFile(at(root + "/e.rmp"), rmpAround(readFile(at(root + "/sub/h.mp3"))));
        writeFile(at(root + "/bad.mp3"), "no audio at all");
        wav("vqfsrc.wav", 22050, 2, 0.8);
        ASSERT_EQ(cli("encode -q -j 1 vqfsrc.wav").status, 0);
        fs::rename(at("vqfsrc.vqf"), at(root + "/again.wav"));
        fs::create_directories(at(root + "/sub/header_info"));
        writeFile(at(root + "/sub/header_info/TRAC"), "12");
        fs::remove(at("mp3src.wav"));
        fs::remove(at("vqfsrc.wav"));
        ASSERT_EQ(filesUnder(at(root)).size(), 13u);  // twelve sources and the TRAC file
    }

    // Signals tembrel-cli with `args` in the test folder once at least `temporary`
    // temporary files exist under `watched` at once; the wait status.
    int signalWhileWriting(const std::vector<std::string>& args, const std::string& watched,
                           std::size_t temporary, int signal) {
        return signalWhenReady(
            TEMBREL_CLI, args, dir.path(), [&] { return hiddenUnder(watched).size() >= temporary; },
            signal, &lastPid);
    }

    TempDir dir;
    TempDir logs;
    pid_t lastPid = -1;
};

TEST_F(ParallelCliTest, FourAtOnceGiveWhatOneAtATimeGives) {
    makeMixedFolder("one");
    fs::copy(at("one"), at("four"), fs::copy_options::recursive);
    const CommandResult serial = cli("encode -j 1 one");
    const CommandResult parallel = cli("encode -j 4 four");

    EXPECT_EQ(serial.status, 1);
    EXPECT_EQ(parallel.status, serial.status);
    EXPECT_NE(serial.out.find("11 converted, 1 failed"), std::string::npos) << serial.out;
    // The same lines in the same (walk) order, the same failure list, the same counts.
    EXPECT_EQ(replaceAll(parallel.out, at("four"), at("one")), serial.out);
    EXPECT_EQ(replaceAll(parallel.err, at("four"), at("one")), serial.err);
    const Files outputs = filesUnder(at("one"), ".vqf");
    EXPECT_EQ(outputs.size(), 11u);
    EXPECT_EQ(filesUnder(at("four"), ".vqf"), outputs);
    EXPECT_TRUE(hiddenUnder(at("four")).empty());

    // Several paths are one job: their files are converted at the same time too, and a
    // killed worker costs only its file, with no partial output left.
    for (const auto& [name, bytes] : outputs)
        fs::remove(at("four/" + name));
    writeFile(at("four/c.vqf"), "an older output");
    const CommandResult killed = cli("encode -j 4 four/sub four/c.wav four/a.wav",
                                     std::string(kKillWorkerVariable) + "=c.wav ");
    EXPECT_EQ(killed.status, 1);
    EXPECT_NE(killed.out.find("failed: four/c.wav: the process converting it was killed by "
                              "signal 9"),
              std::string::npos)
        << killed.out;
    EXPECT_NE(killed.out.find("6 converted, 1 failed"), std::string::npos) << killed.out;
    EXPECT_EQ(readFile(at("four/c.vqf")), bytesOf("an older output"));
    EXPECT_EQ(readFile(at("four/a.vqf")), outputs.at("a.vqf"));
    EXPECT_EQ(readFile(at("four/sub/deeper/i.vqf")), outputs.at("sub/deeper/i.vqf"));
    EXPECT_TRUE(hiddenUnder(at("four")).empty());

    // -j 1 runs no worker at all.
    const CommandResult inProcess =
        cli("encode -j 1 four/c.wav", std::string(kKillWorkerVariable) + "=c.wav ");
    EXPECT_EQ(inProcess.status, 0) << inProcess.out;
    EXPECT_EQ(readFile(at("four/c.vqf")), outputs.at("c.vqf"));
}

TEST_F(ParallelCliTest, WorkersAreToldEverySettingThatShapesTheOutput) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        wav(std::string("one/") + name, 48000, 2, 0.6);
    fs::copy(at("one"), at("two"), fs::copy_options::recursive);
    const std::string settings = "encode --convert-other-formats --name-from-file --stereo-44k 80 ";
    const CommandResult serial = cli(settings + "-j 1 one");
    const CommandResult parallel = cli(settings + "-j 2 two");
    EXPECT_EQ(serial.status, 0) << serial.out;
    EXPECT_EQ(parallel.status, 0) << parallel.out;
    EXPECT_EQ(filesUnder(at("two"), ".vqf"), filesUnder(at("one"), ".vqf"));
    EXPECT_EQ(filesUnder(at("one"), ".vqf").size(), 3u);
}

TEST_F(ParallelCliTest, OneOutputNameFromTwoSourcesIsStillRefusedAcrossWorkers) {
    wav("x/a.wav", 22050, 2, 1.0);
    wav("x/a2.wav", 22050, 2, 1.0);
    wav("x/b.wav", 11025, 1, 1.0);
    writeFile(at("x/b.mp3"), "would replace b.vqf if it converted");
    ASSERT_EQ(cli("encode -q -j 1 x/a.wav").status, 0);
    const std::vector<uint8_t> first = readFile(at("x/a.vqf"));
    fs::remove(at("x/a.vqf"));
    // a.mp3 is an MP3 of a2.wav: it converts, but its output name is taken by a.wav's.
    ASSERT_TRUE(haveTool("lame"));
    ASSERT_EQ(run("lame --quiet '" + at("x/a2.wav") + "' '" + at("x/a.mp3") + "'"), 0);
    // A source that fails leaves the name free for the next, as one at a time.
    writeFile(at("x/c.wav"), "not audio");
    wav("x/c2.wav", 8000, 1, 1.0);
    ASSERT_EQ(run("lame --quiet '" + at("x/c2.wav") + "' '" + at("x/c.mp3") + "'"), 0);

    fs::copy(at("x"), at("y"), fs::copy_options::recursive);
    const CommandResult serial = cli("encode -j 1 x");
    // The same names given in other forms on the command line, too.
    const CommandResult parallel = cli("encode -j 4 y ./y/a.wav '" + at("y/../y/a.mp3") + "'");
    // The folder's lines as one at a time gives them, then the two paths after it.
    std::vector<std::string> expected = linesOf(serial.out);
    ASSERT_EQ(expected.back(), "5 converted, 3 failed");
    expected.pop_back();
    expected.push_back(
        "failed: ./y/a.wav: ./y/a.vqf was already written from another source "
        "in this job");
    expected.push_back("failed: " + at("x/../y/a.mp3") + ": " + at("x/../y/a.vqf") +
                       " was already written from another source in this job");
    expected.push_back("5 converted, 5 failed");
    EXPECT_EQ(linesOf(replaceAll(parallel.out, at("y/"), at("x/"))), expected);
    EXPECT_NE(serial.err.find(at("x/a.mp3") + ": " + at("x/a.vqf") + " was already written"),
              std::string::npos)
        << serial.err;
    EXPECT_NE(parallel.err.find(at("y/a.mp3") + ": " + at("y/a.vqf") + " was already written"),
              std::string::npos)
        << parallel.err;
    EXPECT_EQ(readFile(at("y/a.vqf")), first);
    EXPECT_EQ(filesUnder(at("y"), ".vqf"), filesUnder(at("x"), ".vqf"));
}

TEST_F(ParallelCliTest, CancelStopsEveryWorkerLeavesNoPartialFileAndDeletesNoUnfinishedSource) {
    for (int i = 0; i < 8; ++i)
        wav("long/s" + std::to_string(i) + ".wav", 44100, 2, 12.0);
    fs::copy(at("long"), at("reference"), fs::copy_options::recursive);
    ASSERT_EQ(cli("encode -q -j 1 reference").status, 0);
    const Files complete = filesUnder(at("reference"), ".vqf");

    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        const int status = signalWhileWriting({"encode", "-j", "4", "--delete-source", "long"},
                                              at("long"), 2, signal);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 130);
        EXPECT_TRUE(hiddenUnder(at("long")).empty());
        // Every output there is complete, and only a source whose output is complete is gone.
        for (const auto& [name, bytes] : filesUnder(at("long"), ".vqf"))
            EXPECT_EQ(bytes, complete.at(name)) << name;
        // The two files in hand at the signal were stopped, and kept their sources.
        EXPECT_GE(filesUnder(at("long"), ".wav").size(), 2u);
        for (int i = 0; i < 8; ++i) {
            const std::string stem = at("long/s" + std::to_string(i));
            EXPECT_TRUE(fs::exists(stem + ".wav") || fs::exists(stem + ".vqf")) << stem;
            EXPECT_FALSE(fs::exists(stem + ".wav") && fs::exists(stem + ".vqf")) << stem;
        }
        // No worker outlives the job.
        EXPECT_NE(run("pgrep -f -- '" + std::string(kEncodeWorkerOption) + " [0-9]* " +
                      std::to_string(lastPid) + "$'"),
                  0);
        // Put back what was converted, for the next signal.
        fs::remove_all(at("long"));
        fs::copy(at("reference"), at("long"), fs::copy_options::recursive);
        for (const auto& [name, bytes] : complete)
            fs::remove(at("long/" + name));
    }
}

TEST_F(ParallelCliTest, AnOutputHandedToAJobThatDiesIsRemovedByItsWorker) {
    wav("w/s.wav", 8000, 1, 0.5);
    // Plays a job that is killed between its worker's answer and taking the output over.
    const pid_t job = fork();
    if (job == 0) {
        ChildProcess worker = ChildProcess::start(TEMBREL_CLI, encodeWorkerArguments());
        const worker::EncodeRequest request{at("w"), "s.wav", "s.vqf", kDefaultBitRates, false};
        if (!worker::sendMessage(worker.channel(), request))
            _exit(2);
        worker::MessageReader reader;
        for (;;) {
            while (std::optional<worker::Message> message = reader.next()) {
                if (const auto* result = std::get_if<worker::Result>(&*message))
                    _exit(fs::exists(at("w/" + result->temporaryPath)) ? 0 : 3);
            }
            pollfd fd{worker.channel(), POLLIN, 0};
            if (poll(&fd, 1, 20000) != 1 ||
                worker::receiveInto(worker.channel(), reader) != worker::ReadEnd::Data)
                _exit(4);
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(job, &status, 0), job);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!hiddenUnder(at("w")).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(hiddenUnder(at("w")).empty());
    EXPECT_FALSE(fs::exists(at("w/s.vqf")));
}

}  // namespace
}  // namespace tembrel::test
