#include "SignalWatcher.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeFds[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe.
void onSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
}

constexpr int Watched[] = {SIGTERM, SIGINT, SIGUSR1, SIGUSR2};

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalWatcher::readSignal);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : Watched)
        ::sigaction(number, &action, nullptr);
}

SignalWatcher::~SignalWatcher() {
    for (const int number : Watched)
        std::signal(number, SIG_DFL);
    notifier_.reset();
    for (int& fd : pipeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalWatcher::readSignal() {
    char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1) {
        if (byte == SIGUSR1)
            emit pauseRequested();
        else if (byte == SIGUSR2)
            emit continueRequested();
        else // SIGTERM, SIGINT
            emit stopRequested();
    }
}
