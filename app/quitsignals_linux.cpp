#include "app/quitsignals.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int quitPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Nothing else is safe in a signal handler; a full pipe already holds a
    // pending request.
    [[maybe_unused]] const ssize_t n = ::write(quitPipe[1], &byte, 1);
}
} // namespace

void installQuitSignalHandlers()
{
    if (quitPipe[0] >= 0)
        return;
    if (::pipe2(quitPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

void handleQuitSignals(std::function<void()> quit)
{
    static QPointer<QSocketNotifier> notifier;
    if (quitPipe[0] < 0 || notifier)
        return;
    // A request kept from before is a byte already in the pipe: the notifier
    // reports it as soon as an event loop runs.
    notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [quit] {
        char buf[16];
        while (::read(quitPipe[0], buf, sizeof buf) > 0) {
        }
        quit();
    });
}
