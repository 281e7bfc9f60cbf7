// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
volatile sig_atomic_t g_handled[3] = {0, 0, 0}; // set up here, not ignored

void handle(int signal)
{
    const int saved = errno;
    // The next one of any of them ends the process (sigaction, unlike
    // signal(), may be called in a handler).
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (int i = 0; i < 3; ++i)
        if (g_handled[i])
            sigaction(kSignals[i], &defaults, nullptr);
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool onTerminationSignals(QObject *context, std::function<void()> action)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [notifier, action = std::move(action)] {
                         char bytes[16];
                         while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
                         }
                         notifier->setEnabled(false); // once: the next signal ends the process
                         action();
                     });
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        struct sigaction old {};
        if (sigaction(kSignals[i], nullptr, &old) != 0) {
            ok = false;
            continue;
        }
        if (old.sa_handler == SIG_IGN)
            continue;
        struct sigaction act {};
        act.sa_handler = handle;
        sigemptyset(&act.sa_mask);
        act.sa_flags = SA_RESTART;
        g_handled[i] = 1;
        if (sigaction(kSignals[i], &act, nullptr) != 0) {
            g_handled[i] = 0;
            ok = false;
        }
    }
    return ok;
}

} // namespace platform
