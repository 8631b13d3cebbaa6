#include "SweepExecutor.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "LvError.h"

BatchRunner Scalar_Runner(const SweepRun& run) {
    return {1, [&run](std::span<const SweepPoint> points, std::span<PointResult> results) {
                for (std::size_t i = 0; i < points.size(); ++i) results[i] = run.Run(points[i]);
            }};
}

int Usable_Processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return std::max(1, CPU_COUNT(&set));
}

namespace {

// What the workers and the delivering thread share: the shard's positions from `front` on,
// each slot filled when its point is done. Waking a thread costs a system call and, on a
// virtual machine, far more: so the delivering thread looks in on a timer, and is woken only
// when a worker waits for room, when a worker fails and when the last point is done.
struct ResultWindow {
    std::mutex lock;
    std::condition_variable ready;                 // the delivering thread waits here
    std::condition_variable room;                  // workers wait here while the window is full
    std::deque<std::optional<PointResult>> slots;  // slots[i] is position front + i
    long long front = 0;                           // next position to deliver
    long long next = 0;                            // next position to hand out
    long long finished = 0;                        // points done
    int blocked = 0;                               // workers waiting for room
    std::exception_ptr failure;
    bool stop = false;
};

constexpr auto LookIn = std::chrono::milliseconds(20);

}  // namespace

void Run_Points(const SweepPoints& points, const BatchRunner& runner, int threads,
                const std::function<void(const PointResult&)>& deliver,
                const std::function<void()>& waiting, long long from) {
    const long long count = points.Count();
    const long long batch = std::max(1, runner.batch);
    from = std::clamp<long long>(from, 0, count);
    threads =
        int(std::clamp<long long>(threads, 1, std::max(1LL, (count - from + batch - 1) / batch)));
    // Workers run ahead of the delivery by at most this many points.
    const long long ahead = std::max<long long>(4096, 64LL * threads * batch);
    ResultWindow w;
    w.front = w.next = w.finished = from;

    auto work = [&] {
        std::vector<SweepPoint> batchPoints;
        std::vector<PointResult> batchResults;
        for (;;) {
            long long first;
            {
                std::unique_lock<std::mutex> hold(w.lock);
                auto go = [&] { return w.stop || w.next < w.front + ahead; };
                if (!go()) {
                    ++w.blocked;
                    w.ready.notify_one();
                    w.room.wait(hold, go);
                    --w.blocked;
                }
                if (w.stop || w.next >= count) return;
                first = w.next;
                w.next = std::min(count, first + batch);
            }
            const long long last = std::min(count, first + batch);
            batchPoints.clear();
            for (long long p = first; p < last; ++p) batchPoints.push_back(points.At(p));
            batchResults.assign(batchPoints.size(), PointResult{});
            try {
                runner.run(batchPoints, batchResults);
            } catch (...) {
                std::lock_guard<std::mutex> hold(w.lock);
                if (!w.failure) w.failure = std::current_exception();
                w.stop = true;
                w.ready.notify_one();
                w.room.notify_all();
                return;
            }
            std::lock_guard<std::mutex> hold(w.lock);
            for (long long p = first; p < last; ++p) {
                const std::size_t slot = std::size_t(p - w.front);
                if (w.slots.size() <= slot) w.slots.resize(slot + 1);
                w.slots[slot] = std::move(batchResults[std::size_t(p - first)]);
            }
            w.finished += last - first;
            if (w.finished == count || w.blocked > 0) w.ready.notify_one();
        }
    };

    std::vector<std::thread> workers;
    workers.reserve(std::size_t(threads));
    auto stopAll = [&] {
        {
            std::lock_guard<std::mutex> hold(w.lock);
            w.stop = true;
        }
        w.room.notify_all();
        for (std::thread& t : workers) t.join();
    };
    try {
        // The sweep runs on the threads that can be had: the first one that cannot be made
        // (no memory for its stack, a limit on processes) ends the starting, and with none at
        // all the sweep cannot run.
        for (int i = 0; i < threads; ++i) {
            try {
                workers.emplace_back(work);
            } catch (const std::system_error& e) {
                if (!workers.empty()) break;
                throw LvError(ErrorKind::OutOfMemory,
                              std::string("starting the sweep's first thread (") + e.what() + ")");
            }
        }
        std::unique_lock<std::mutex> hold(w.lock);
        while (w.front < count) {
            w.ready.wait_for(hold, LookIn, [&] {
                return w.failure || w.finished == count ||
                       (w.blocked > 0 && !w.slots.empty() && w.slots.front());
            });
            if (w.failure) break;
            while (!w.slots.empty() && w.slots.front()) {
                PointResult r = std::move(*w.slots.front());
                w.slots.pop_front();
                ++w.front;
                if (w.blocked > 0) w.room.notify_all();
                hold.unlock();
                deliver(r);
                hold.lock();
            }
            if (waiting) {
                hold.unlock();
                waiting();
                hold.lock();
            }
        }
    } catch (...) {
        stopAll();
        throw;
    }
    stopAll();
    if (w.failure) std::rethrow_exception(w.failure);
}
