#include "app/interrupt_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "driver/job_progress.h"
#include "ui/shutdown.h"

namespace tembrel {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// [0] read on the window thread, [1] written by the handler.
int signalPipe[2] = {-1, -1};

void onSignalHandler(int) {
    const int savedErrno = errno;
    jobProgress().cancelRequested = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

InterruptSignals::InterruptSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &InterruptSignals::onSignal);
    struct sigaction action {};
    action.sa_handler = onSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

InterruptSignals::~InterruptSignals() {
    for (int signal : kSignals)
        std::signal(signal, SIG_DFL);
    delete notifier_;
    for (int& fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void InterruptSignals::onSignal() {
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    ui::requestShutdown();
}

}  // namespace tembrel
