// The worker processes of one job (encode_worker.h): up to a given number, started as
// files come and each converting one file at a time. The pool only carries requests and
// answers; what becomes of a file is the job's business.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/worker_messages.h"
#include "platform/child_process.h"

namespace tembrel {

class WorkerPool {
  public:
    // A file the pool is done with.
    struct Done {
        enum class How {
            Answered,    // the worker sent its result
            Lost,        // the worker died or garbled its messages; `reason` says how
            NotStarted,  // no worker ever came up to take it: convert it some other way
        };
        uint64_t ticket = 0;
        How how = How::Answered;
        worker::Result result;      // Answered
        std::string reason;         // Lost
        std::string temporaryPath;  // Lost: the output it had begun, to be removed
    };
    // The file a busy worker has in hand.
    struct InHand {
        uint64_t ticket;
        int32_t framesDone;
        int32_t framesTotal;
    };
    enum class Submitted { Yes, AllBusy, NoWorker };

    WorkerPool(std::string program, std::vector<std::string> arguments, int32_t size);
    // Ends every worker: an idle one when it sees the socket close, a busy one killed.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Hands a file to an idle worker, starting one while the pool is not full. AllBusy:
    // wait (pump) and try again. NoWorker: no worker can be started at all.
    Submitted submit(uint64_t ticket, const worker::EncodeRequest& request);
    // Waits up to `timeout` for the workers to say something; the files they are done with.
    std::vector<Done> pump(std::chrono::milliseconds timeout);
    // Asks every busy worker to stop after its current frame (once each).
    void cancel();

    std::size_t busy() const;
    // In the order the files were handed out.
    std::vector<InHand> inHand() const;

  private:
    struct Slot {
        ChildProcess process;
        worker::MessageReader reader;
        bool ready = false;
        bool busy = false;
        bool cancelSent = false;
        std::chrono::steady_clock::time_point cancelledAt;
        uint64_t ticket = 0;
        std::string temporaryPath;
        int32_t framesDone = 0;
        int32_t framesTotal = 2;
    };
    // Reads what the slot's worker sent; false when the worker is gone or garbled.
    bool service(Slot& slot, std::vector<Done>& done);
    // Ends a worker that died or garbled its messages; its file, if any, comes back.
    void lose(Slot& slot, const std::string& how, std::vector<Done>& done);

    std::string program_;
    std::vector<std::string> arguments_;
    std::size_t size_;
    // A worker that never came up means none will: no more are started.
    bool startFailed_ = false;
    std::vector<Slot> slots_;
};

}  // namespace tembrel
