#pragma once

#include <atomic>
#include <cstdint>

// A run's stop request, owned by whoever started the run. Any thread may set it (the window's
// Stop, a worker's owner, a signal watcher, an interrupted interpreter); the run reads it
// after every step and ends after the step in which it finds -1. The run never resets it.
struct RunControl {
    std::atomic<int16_t> StopRequested{0};  // -1: end after the current step; 0: go on

    void Request_Stop() { StopRequested.store(-1, std::memory_order_relaxed); }
    bool Stop_Requested() const { return StopRequested.load(std::memory_order_relaxed) == -1; }
};
