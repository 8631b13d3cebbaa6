#include "SweepProgress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {
void writeErr(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + at, text.size() - at);
        if (n <= 0) return;  // progress is worth no error
        at += std::size_t(n);
    }
}

std::string duration(double seconds) {
    char buf[32];
    const long long s = (long long)(seconds + 0.5);
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}
}  // namespace

SweepProgress::SweepProgress(long long total, bool wanted)
    : on_(wanted && ::isatty(STDERR_FILENO)), total_(total), start_(Clock::now()), shown_(start_) {}

SweepProgress::~SweepProgress() {
    Clear();
}

void SweepProgress::Clear() {
    if (on_ && drawn_) writeErr("\r\033[K");
    drawn_ = false;
}

void SweepProgress::Point_Done(std::string_view status, bool now) {
    ++done_;
    if (!now) ++earlier_;
    if (status == "ok")
        ++ok_;
    else
        ++failed_.try_emplace(std::string(status), 0).first->second;
}

std::string SweepProgress::Summary() const {
    char took[32];
    std::snprintf(took, sizeof took, "%.2f",
                  std::chrono::duration<double>(Clock::now() - start_).count());
    std::string line = std::to_string(done_) + (done_ == 1 ? " point" : " points");
    if (earlier_ > 0) line += " (" + std::to_string(earlier_) + " of them resumed)";
    line += " in " + std::string(took) + " s: ";
    if (done_ > 0 && ok_ == done_) return line + "all ok";
    line += std::to_string(ok_) + " ok, " + std::to_string(done_ - ok_) + " failed";
    std::string kinds;
    for (const auto& [kind, count] : failed_)
        kinds += (kinds.empty() ? "" : ", ") + kind + " " + std::to_string(count);
    return line + (kinds.empty() ? "" : " (" + kinds + ")");
}

void SweepProgress::Show() {
    if (!on_) return;
    const Clock::time_point now = Clock::now();
    if (now - shown_ < std::chrono::milliseconds(250) && done_ < total_) return;
    shown_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double rate = elapsed > 0 ? double(done_ - earlier_) / elapsed : 0;
    std::string line =
        "\r\033[K" + std::to_string(done_) + " of " + std::to_string(total_) + " points";
    if (rate > 0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, ", %.1f points/s, ", rate);
        line += buf + duration(double(total_ - done_) / rate) + " left";
    }
    writeErr(line);
    drawn_ = true;
}
