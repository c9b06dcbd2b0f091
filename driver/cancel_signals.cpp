#include "driver/cancel_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "driver/job_progress.h"

namespace tembrel {
namespace {

std::atomic<bool> signalled{false};
int pipeEnds[2] = {-1, -1};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void onCancelSignal(int) {
    const int savedErrno = errno;
    signalled.store(true);
    jobProgress().cancelRequested.store(true);
    if (pipeEnds[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

void installCancelSignals() {
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        pipeEnds[0] = pipeEnds[1] = -1;
    struct sigaction action {};
    action.sa_handler = onCancelSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool cancelSignalled() {
    return signalled.load();
}

int cancelSignalPipe() {
    return pipeEnds[0];
}

}  // namespace tembrel
