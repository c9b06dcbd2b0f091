// A program started as a child of this process, talking to it over a socket: the child
// finds its end as descriptor kChannelFd, the parent keeps the other. Its standard input
// is /dev/null; its standard output and error are the parent's.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace tembrel {

class ChildProcess {
  public:
    static constexpr int kChannelFd = 3;

    // Starts `program` with the arguments `argv` (argv[0] first: the name it shows), every
    // signal unblocked and at its default action. started() is false on failure, error()
    // says why.
    static ChildProcess start(const std::string& program, const std::vector<std::string>& argv);

    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running is killed and waited for, so that none is left behind.
    ~ChildProcess();

    bool started() const { return pid_ > 0; }
    int error() const { return error_; }
    pid_t pid() const { return pid_; }
    // The parent's end of the socket: non-blocking, closed on exec; -1 once closed.
    int channel() const { return channel_; }
    void closeChannel();

    bool signal(int signal) const;
    // Waits for the child to end and returns its wait status (once; -1 afterwards).
    int wait();
    // Closes the channel (a child waiting for work takes that as the end), waits up to
    // `grace` for it to end, then kills it. Its wait status.
    int finish(std::chrono::milliseconds grace);

  private:
    void release();

    pid_t pid_ = -1;
    int channel_ = -1;
    int error_ = 0;
};

// How a child ended, from its wait status, to follow a subject: "exited with status 3",
// "was killed by signal 9 (Killed)".
std::string describeEnd(int waitStatus);

}  // namespace tembrel
