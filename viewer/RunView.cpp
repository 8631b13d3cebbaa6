#include "RunView.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <algorithm>

#include "Controls.h"
#include "Convert.h"
#include "Globals.h"
#include "LvError.h"

namespace {
// A waiting chart (its pace, its wrap pause) wakes this often: often enough that Stop, the
// menu, the slider and repaints are answered at once, seldom enough that the processor idles.
constexpr std::chrono::milliseconds WaitSlice{3};
}  // namespace

RunView::RunView(PictureBox& picMain, QLabel& lblInfo, QSlider& sldSpeed, QLineEdit& txtPTime)
    : picMain(picMain),
      lblInfo(lblInfo),
      sldSpeed(sldSpeed),
      txtPTime(txtPTime),
      chart_(picMain.Surface()) {
    chart_.setWrapPause([this] { wrapPause(); });
    picMain.Set_Before_Paint([this] { chart_.Render(); });
}

RunView::~RunView() {
    picMain.Set_Before_Paint({});
}

void RunView::Render() {
    chart_.Render();
}

void RunView::Clear_Picture() {
    chart_.Clear();
    picMain.Update_All();
    schedule_.Reset();
    stats_ = {};
    lastEvents_ = lastRepaint_ = Clock::now();
    readings_.Restart(lastEvents_);
}

void RunView::Graph_Populations(const int16_t& Nanimals) {
    if (closing_) return;  // the window is gone; the run is only finishing its step
    paceColumn();
    if (closing_) return;  // closed while the chart waited
    picMain.Update_Column(chart_.Graph_Populations(Species, Nanimals, PlotColumn));
    const double sweep = sweepSeconds();
    if (sweep > 0)
        schedule_.Column_Drawn(clock_->Now(), sweep, sweepColumns());
    else
        schedule_.Reset();
}

double RunView::sweepSeconds() const {
    return Speed::Sweep_Seconds(sldSpeed.value());
}

int RunView::sweepColumns() const {
    return int(picMain.ScaleWidth()) + 1;
}

void RunView::paceColumn() {
    while (schedule_.Anchored() && !closing_ && StopRequested != -1) {
        const double sweep = sweepSeconds();  // the slider may move while the chart waits
        if (sweep <= 0) return;
        const WindowClock::time_point due = schedule_.Due(sweep, sweepColumns());
        const WindowClock::time_point now = clock_->Now();
        if (now >= due) return;
        processEventsNow();
        clock_->Sleep_Until(std::min(due, now + WaitSlice));
    }
}

void RunView::Set_Info_Caption(const std::string& caption) {
    if (closing_) return;
    chart_.Render();
    picMain.Flush_Updates();
    lblInfo.setText(QString::fromStdString(caption));
}

void RunView::processEventsNow() {
    const Clock::time_point start = Clock::now();
    const double gap = std::chrono::duration<double, std::milli>(start - lastEvents_).count();
    if (gap > stats_.maxGapMs) stats_.maxGapMs = gap;
    if (gap > 2.0) ++stats_.gapsOver2ms;
    // New columns are shown at about the display's rate: a repaint costs some 20 us, far more
    // than looking at the pending input, which happens every millisecond.
    using namespace std::chrono_literals;
    if (start - lastRepaint_ >= 16ms) {
        picMain.Flush_Updates();
        lastRepaint_ = start;
    }
    QCoreApplication::processEvents();
    lastEvents_ = Clock::now();
    stats_.busyMs += std::chrono::duration<double, std::milli>(lastEvents_ - start).count();
    ++stats_.calls;
}

long long RunView::Quiet_Steps() {
    return readings_.Quiet_Steps();
}

void RunView::Do_Events() {
    const Clock::time_point now = Clock::now();
    readings_.Read(now);
    if (now - lastEvents_ >= std::chrono::milliseconds(1)) {
        processEventsNow();
        readings_.Restart(lastEvents_);
    }
}

float RunView::Pause_Seconds(const QString& pauseText) {
    int16_t units = 0;
    try {
        units = Text_To_Int16(pauseText.toStdString());
    } catch (const LvError&) {
        return 0;  // still being typed ("-") or not a number: no pause
    }
    const double tenth = double(units) / 10;
    return float(tenth + tenth);
}

void RunView::wrapPause() {
    using namespace std::chrono;
    const float P = Pause_Seconds(txtPTime.text());
    if (P <= 0) return;
    chart_.Render();  // the finished sweep stays on screen during the pause
    picMain.Flush_Updates();
    const WindowClock::time_point end =
        clock_->Now() + duration_cast<WindowClock::time_point::duration>(duration<double>(P));
    // The finished sweep stays on screen while the window goes on answering the user; a
    // close ends the wait at once.
    for (WindowClock::time_point now = clock_->Now(); now < end && !closing_; now = clock_->Now()) {
        processEventsNow();
        clock_->Sleep_Until(std::min(end, now + WaitSlice));
    }
    schedule_.Reset();  // the new sweep's time runs from its first column
}
