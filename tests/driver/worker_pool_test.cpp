// The pool against workers that misbehave: played by small shell scripts that write to the
// socket (descriptor 3) what a broken or foreign program might.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "driver/worker_pool.h"

namespace tembrel {
namespace {

using namespace std::chrono_literals;
using How = WorkerPool::Done::How;

// printf text of a Ready frame.
constexpr const char* kReady = R"(printf 'TW\001\001\000\000\000\000' >&3; )";

struct Misbehaviour {
    const char* what;
    const char* script;
    How how;
    const char* reason;  // the start of Done::reason, for a lost file
};

const Misbehaviour kMisbehaviours[] = {
    {"ends before it is ready", "exit 0", How::NotStarted, ""},
    {"is killed while converting", "kill -9 $$", How::Lost,
     "the process converting it was killed by signal 9"},
    {"exits while converting", "exit 7", How::Lost,
     "the process converting it exited with status 7"},
    {"garbles its messages", "printf 'hello' >&3; sleep 5", How::Lost,
     "the process converting it sent a message that cannot be read"},
    // A request, which only a job sends: three empty texts, six rates and two flags, all 0.
    {"speaks out of turn",
     R"(printf 'TW\001\002\046\000\000\000' >&3; head -c 38 /dev/zero >&3; sleep 5)", How::Lost,
     "the process converting it sent a message out of turn"},
};

// Waits until the one file handed out comes back.
WorkerPool::Done waitForTheFile(WorkerPool& pool) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::vector<WorkerPool::Done> done = pool.pump(50ms);
        if (!done.empty()) {
            EXPECT_EQ(done.size(), 1u);
            return std::move(done.front());
        }
    }
    ADD_FAILURE() << "the file never came back";
    return {};
}

TEST(WorkerPoolTest, AFileComesBackHoweverItsWorkerMisbehaves) {
    for (const Misbehaviour& m : kMisbehaviours) {
        SCOPED_TRACE(m.what);
        const bool ready = m.how != How::NotStarted;
        WorkerPool pool("/bin/sh", {"sh", "-c", (ready ? std::string(kReady) : "") + m.script}, 2);
        EXPECT_EQ(pool.submit(7, worker::EncodeRequest{"/", "a.wav", "a.vqf", {}, false}),
                  WorkerPool::Submitted::Yes);
        const WorkerPool::Done done = waitForTheFile(pool);
        EXPECT_EQ(done.ticket, 7u);
        EXPECT_EQ(done.how, m.how);
        EXPECT_TRUE(done.reason.starts_with(m.reason)) << done.reason;
        EXPECT_EQ(pool.busy(), 0u);
        // A program that never comes up as a worker is not started again.
        if (!ready) {
            EXPECT_EQ(pool.submit(8, {}), WorkerPool::Submitted::NoWorker);
        }
    }
}

TEST(WorkerPoolTest, AProgramThatCannotBeStartedTakesNoFile) {
    WorkerPool pool("/nonexistent/tembrel", {"tembrel"}, 2);
    EXPECT_EQ(pool.submit(1, {}), WorkerPool::Submitted::NoWorker);
}

TEST(WorkerPoolTest, AWorkerThatIgnoresItsCancelIsKilledInTime) {
    // Ready, deaf to SIGTERM, then says it has done 5 frames of 9 and falls silent.
    const std::string deaf =
        std::string(kReady) + "trap '' TERM; " +
        R"(printf 'TW\001\004\010\000\000\000\005\000\000\000\011\000\000\000' >&3; )" +
        "exec sleep 60";
    WorkerPool pool("/bin/sh", {"sh", "-c", deaf}, 1);
    ASSERT_EQ(pool.submit(3, {}), WorkerPool::Submitted::Yes);
    // Cancelled only once it is surely deaf.
    for (int i = 0; i < 400 && pool.inHand().front().framesDone != 5; ++i)
        ASSERT_TRUE(pool.pump(50ms).empty());
    ASSERT_EQ(pool.inHand().front().framesDone, 5);
    pool.cancel();
    const auto start = std::chrono::steady_clock::now();
    const WorkerPool::Done done = waitForTheFile(pool);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
    EXPECT_EQ(done.how, How::Lost);
    EXPECT_EQ(done.reason, "the process converting it did not stop when cancelled");
}

}  // namespace
}  // namespace tembrel
