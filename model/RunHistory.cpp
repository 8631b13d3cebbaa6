#include "RunHistory.h"

#include <unistd.h>

#include "Convert.h"
#include "LvError.h"

namespace {
constexpr std::size_t PlotPoints = 4096;  // more than a plot's width in pixels
}

RunHistory::RunHistory(const std::optional<std::string>& csvPath, int n, long long every)
    : n_(n), every_(every > 0 ? every : 1) {
    if (!csvPath) return;
    if (*csvPath == "-")
        toOutput_ = true;
    else
        file_.emplace(*csvPath);
    std::string header = "step,t,LE";
    for (int i = 0; i < n_; ++i) header += ",x" + std::to_string(i);
    write(header + "\r\n");
}

void RunHistory::write(const std::string& text) {
    if (file_) {
        file_->Write(text);
    } else if (toOutput_) {
        if (const int err = Write_All(STDOUT_FILENO, text))
            throw File_Error(err, "writing the history to standard output");
    }
}

void RunHistory::Column(const RunSnapshot& now) {
    if (++columns_ % every_ == 0)
        Row(now.step, now.t, now.LE, now.x);
    else
        keepPoint(now.t, now.LE);
}

void RunHistory::Row(long long step, double t, double LE, std::span<const double> x) {
    lastStep_ = step;
    if (file_ || toOutput_) {
        std::string row =
            std::to_string(step) + "," + Format_Shortest(t) + "," + Format_Shortest(LE);
        for (int i = 0; i < n_; ++i)
            row += "," + (std::size_t(i) < x.size() ? Format_Shortest(x[std::size_t(i)]) : "");
        write(row + "\r\n");
    }
    keepPoint(t, LE);
}

void RunHistory::keepPoint(double t, double LE) {
    lastKept_ = rows_++ % stride_ == 0;
    if (!lastKept_) return;
    times_.push_back(t);
    exponents_.push_back(LE);
    if (times_.size() == 2 * PlotPoints) {
        // Every other point goes, the newest with them; from here on half as many are kept.
        for (std::size_t i = 0; i < PlotPoints; ++i) {
            times_[i] = times_[2 * i];
            exponents_[i] = exponents_[2 * i];
        }
        times_.resize(PlotPoints);
        exponents_.resize(PlotPoints);
        stride_ *= 2;
        lastKept_ = false;
    }
}

void RunHistory::Last_Step(long long step, double t, double LE, std::span<const double> x) {
    if (step != lastStep_) Row(step, t, LE, x);
    // The plot ends on the run's last step, whether or not the thinning kept it.
    if (!lastKept_) {
        times_.push_back(t);
        exponents_.push_back(LE);
        lastKept_ = true;
    }
}

void RunHistory::Commit() {
    if (file_) file_->Commit();
}
