#include "platform/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace tembrel {
namespace {

// Owns a descriptor for the length of start().
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

int waitFor(pid_t pid, int flags) {
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, flags);
        if (r == pid)
            return status;
        if (r == 0)
            return -1;  // still running (WNOHANG)
        if (errno != EINTR)
            return -1;
    }
}

}  // namespace

ChildProcess ChildProcess::start(const std::string& program, const std::vector<std::string>& argv) {
    ChildProcess child;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        child.error_ = errno;
        return child;
    }
    Fd parentEnd{ends[0]};
    Fd childEnd{ends[1]};
    // dup2 onto the same number would keep close-on-exec set, so the child's end is
    // moved out of the way first.
    if (childEnd.fd <= kChannelFd) {
        Fd moved{::fcntl(childEnd.fd, F_DUPFD_CLOEXEC, kChannelFd + 1)};
        if (moved.fd < 0) {
            child.error_ = errno;
            return child;
        }
        std::swap(childEnd.fd, moved.fd);
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, childEnd.fd, kChannelFd);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> arguments;
    for (const std::string& a : argv)
        arguments.push_back(const_cast<char*>(a.c_str()));
    arguments.push_back(nullptr);
    pid_t pid = -1;
    const int result =
        ::posix_spawn(&pid, program.c_str(), &actions, &attributes, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        child.error_ = result;
        return child;
    }
    ::fcntl(parentEnd.fd, F_SETFL, ::fcntl(parentEnd.fd, F_GETFL) | O_NONBLOCK);
    child.pid_ = pid;
    child.channel_ = std::exchange(parentEnd.fd, -1);
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept {
    *this = std::move(other);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        release();
        pid_ = std::exchange(other.pid_, -1);
        channel_ = std::exchange(other.channel_, -1);
        error_ = other.error_;
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    release();
}

void ChildProcess::release() {
    closeChannel();
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        wait();
    }
}

void ChildProcess::closeChannel() {
    if (channel_ >= 0)
        ::close(std::exchange(channel_, -1));
}

bool ChildProcess::signal(int signal) const {
    return pid_ > 0 && ::kill(pid_, signal) == 0;
}

int ChildProcess::wait() {
    if (pid_ <= 0)
        return -1;
    const int status = waitFor(std::exchange(pid_, -1), 0);
    return status;
}

int ChildProcess::finish(std::chrono::milliseconds grace) {
    closeChannel();
    if (pid_ <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (std::chrono::steady_clock::now() < deadline) {
        const int status = waitFor(pid_, WNOHANG);
        if (status != -1) {
            pid_ = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid_, SIGKILL);
    return wait();
}

std::string describeEnd(int waitStatus) {
    if (waitStatus == -1)
        return "ended in an unknown way";
    if (WIFEXITED(waitStatus))
        return "exited with status " + std::to_string(WEXITSTATUS(waitStatus));
    if (WIFSIGNALED(waitStatus)) {
        const int signal = WTERMSIG(waitStatus);
        const char* name = ::strsignal(signal);
        return "was killed by signal " + std::to_string(signal) +
               (name ? std::string(" (") + name + ")" : "");
    }
    return "ended in an unknown way";
}

}  // namespace tembrel
