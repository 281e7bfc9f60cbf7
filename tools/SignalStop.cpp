// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "tools/SignalStop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tools {

namespace {

// Never freed: the waiting thread is detached and may wake while the process
// exits, after main() has returned.
struct State {
    std::stop_source source;
    std::atomic<int> signal{0};
    sigset_t waited;
};

State &state()
{
    static State *const s = new State;
    return *s;
}

// The children of every thread of this process (the helpers are started from
// the workers, so each is the child of the thread that spawned it).
std::vector<pid_t> childProcesses()
{
    std::vector<pid_t> pids;
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return pids;
    while (const dirent *task = readdir(tasks)) {
        if (task->d_name[0] == '.')
            continue;
        char path[300];
        std::snprintf(path, sizeof path, "/proc/self/task/%s/children", task->d_name);
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        char text[4096];
        ssize_t n;
        do {
            n = ::read(fd, text, sizeof text - 1);
        } while (n < 0 && errno == EINTR);
        ::close(fd);
        text[std::max<ssize_t>(n, 0)] = 0;
        for (char *at = text; *at;) {
            char *end = nullptr;
            const long pid = std::strtol(at, &end, 10);
            if (end == at)
                break;
            if (pid > 0)
                pids.push_back(pid_t(pid));
            at = end;
        }
    }
    closedir(tasks);
    return pids;
}

// The second signal: no helper may outlive the process, so each is killed
// and reaped (a worker reaping the same one meanwhile gets ECHILD, which it
// takes for a reader that ended). A child that does not end within a second
// (stuck in the kernel) is left to init.
[[noreturn]] void endNow(int signal)
{
    const std::vector<pid_t> children = childProcesses();
    for (const pid_t pid : children)
        ::kill(pid, SIGKILL);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (const pid_t pid : children) {
        while (::waitpid(pid, nullptr, WNOHANG) == 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::_exit(128 + signal);
}

void *waitForSignals(void *)
{
    State &s = state();
    for (;;) {
        int signal = 0;
        if (sigwait(&s.waited, &signal) != 0)
            continue;
        int none = 0;
        if (s.signal.compare_exchange_strong(none, signal))
            s.source.request_stop();
        else
            endNow(signal);
    }
}

// Without helpers, in the signal's handler: the stop is only atomic
// operations when no stop callback is registered (only the helpers' pool
// registers one), and with no child a second signal has nothing to end.
void onSignal(int signal)
{
    State &s = state();
    int none = 0;
    if (s.signal.compare_exchange_strong(none, signal))
        s.source.request_stop();
    else
        ::_exit(128 + signal);
}

} // namespace

std::stop_token stopOnSignals(bool helpers)
{
    State &s = state();
    sigemptyset(&s.waited);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction now {};
        if (sigaction(signal, nullptr, &now) == 0 && now.sa_handler != SIG_IGN)
            sigaddset(&s.waited, signal);
    }
    if (sigisemptyset(&s.waited))
        return s.source.get_token();
    if (!helpers) {
        // No thread of its own: a program with a second thread pays for it in
        // every system call and allocation (glibc's multi-threaded paths).
        for (const int signal : {SIGINT, SIGTERM}) {
            if (!sigismember(&s.waited, signal))
                continue;
            struct sigaction handler {};
            handler.sa_handler = onSignal;
            handler.sa_flags = SA_RESTART;
            sigemptyset(&handler.sa_mask);
            sigaction(signal, &handler, nullptr);
        }
        return s.source.get_token();
    }
    pthread_sigmask(SIG_BLOCK, &s.waited, nullptr);
    // A small stack (not the 8 MiB default), so that a lowered address-space
    // limit leaves the run nearly what it had without this thread; room
    // enough for a sanitizer's larger frames.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 256 * 1024);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    if (pthread_create(&thread, &attributes, waitForSignals, nullptr) != 0) {
        // No thread to be had (a lowered process limit): the signals end the
        // program as they would without this.
        pthread_sigmask(SIG_UNBLOCK, &s.waited, nullptr);
    }
    pthread_attr_destroy(&attributes);
    return s.source.get_token();
}

int stopSignal()
{
    return state().signal.load();
}

} // namespace tools
