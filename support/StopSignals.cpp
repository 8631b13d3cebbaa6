#include "StopSignals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "SaveFile.h"

namespace {

std::atomic<int> caught{0};
std::atomic<bool> endAtOnce{true};

void onStop(int signal) {
    int none = 0;
    if (!endAtOnce.load() && caught.compare_exchange_strong(none, signal)) return;
    Remove_Temporary_Files();
    ::_exit(128 + signal);
}

}  // namespace

void Catch_Stop_Signals(bool atOnce) {
    endAtOnce.store(atOnce);
    struct sigaction action {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

int Stop_Signal() {
    return caught.load();
}
