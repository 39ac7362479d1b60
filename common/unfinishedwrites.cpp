#include "common/unfinishedwrites.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// A slot's path is only read once it is ready; a write that finds no free
// slot (or has too long a name) is simply not listed.
constexpr int kTrackedWrites = 64;
struct TrackedTemporary {
    std::atomic<bool> taken{false};
    std::atomic<bool> ready{false};
    char path[PATH_MAX] = {};
};
TrackedTemporary trackedTemporaries[kTrackedWrites];

// Only calls that are safe in a signal handler.
void removeTemporariesAndEnd(int signal)
{
    for (TrackedTemporary &tracked : trackedTemporaries) {
        if (tracked.ready)
            ::unlink(tracked.path);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// The signal is noted before the steps are looked at, and a step's end looks
// at the note after it is counted off: one of the two always ends the process.
// A step that begins once a signal is noted never goes on (see the class).
// An abort is not held back: it ends the process when its handler returns.
std::atomic<int> stepsUnderWay{0};
std::atomic<int> waitingSignal{0};

void onEndingSignal(int signal)
{
    waitingSignal = signal;
    if (stepsUnderWay == 0 || signal == SIGABRT)
        removeTemporariesAndEnd(signal);
}

} // namespace

int trackTemporary(const std::string &path)
{
    if (path.size() >= sizeof trackedTemporaries[0].path)
        return -1;
    for (int slot = 0; slot < kTrackedWrites; ++slot) {
        TrackedTemporary &tracked = trackedTemporaries[slot];
        bool free = false;
        if (tracked.taken.compare_exchange_strong(free, true)) {
            std::memcpy(tracked.path, path.c_str(), path.size() + 1);
            tracked.ready = true;
            return slot;
        }
    }
    return -1;
}

void untrackTemporary(int slot)
{
    if (slot < 0)
        return;
    trackedTemporaries[slot].ready = false;
    trackedTemporaries[slot].taken = false;
}

void prepareSafeWrites()
{
    std::signal(SIGXFSZ, SIG_IGN);
    // Every signal whose default ends the process and that a handler may
    // take: those of a user or a session (terminal, hang-up, a closed pipe),
    // of limits and timers, and an abort.
    for (const int ending : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU,
                             SIGVTALRM, SIGPROF, SIGABRT}) {
        struct sigaction current {};
        if (::sigaction(ending, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
            continue; // ignored (nohup) or handled by someone else
        struct sigaction removing {};
        removing.sa_handler = onEndingSignal;
        sigemptyset(&removing.sa_mask);
        ::sigaction(ending, &removing, nullptr);
    }
}

// The process is ending: its temporary files may be gone already, so this
// step must make none. The last step to be counted off ends the process.
EndingSignalsWait::EndingSignalsWait()
{
    ++stepsUnderWay;
    if (waitingSignal == 0)
        return;
    if (--stepsUnderWay == 0)
        removeTemporariesAndEnd(waitingSignal);
    for (;;)
        ::pause();
}

EndingSignalsWait::~EndingSignalsWait()
{
    if (--stepsUnderWay == 0 && waitingSignal != 0)
        removeTemporariesAndEnd(waitingSignal);
}
