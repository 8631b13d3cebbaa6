#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <string>

#include "ChartPace.h"
#include "ClockReadings.h"
#include "StripChart.h"
#include "Subs.h"

class QLabel;
class QLineEdit;
class QSlider;
class PictureBox;

// The window's side of a run: the strip chart drawn into picMain at the speed control's pace,
// the pause at each wrap, the result caption, and the window's events processed between the
// steps often enough that Stop, the menu and repaints are answered at once.
class RunView : public ModelWindow {
  public:
    RunView(PictureBox& picMain, QLabel& lblInfo, QSlider& sldSpeed, QLineEdit& txtPTime);
    ~RunView() override;
    RunView(const RunView&) = delete;
    RunView& operator=(const RunView&) = delete;

    // What the model run calls.
    void Clear_Picture() override;
    void Graph_Populations(const int16_t& Nanimals) override;
    void Set_Info_Caption(const std::string& caption) override;
    void Do_Events() override;
    long long Quiet_Steps() override;

    // The chart's pixels brought up to date with every column drawn so far.
    void Render();

    // The window has closed during a run: the run finishes its step without drawing or waiting.
    void Close() { closing_ = true; }
    bool Closing() const { return closing_; }
    void Reopen() { closing_ = false; }

    // The clock of the chart's pacing and wrap pause; nullptr puts the steady clock back.
    void Set_Clock(WindowClock* clock) { clock_ = clock ? clock : &steadyClock_; }

    // How often the run let the window process its events (since the last Clear_Picture).
    struct EventStats {
        long long calls = 0;        // times pending events were processed
        double maxGapMs = 0;        // longest wall time from one processing to the next
        double busyMs = 0;          // wall time spent processing them
        long long gapsOver2ms = 0;  // rounds that came more than 2 ms after the one before
    };
    const EventStats& Event_Stats() const { return stats_; }

    // The pause at a wrap, in seconds, from the pause-field text; text that is not a number
    // counts as no pause.
    static float Pause_Seconds(const QString& pauseText);

  private:
    void wrapPause();
    void paceColumn();
    double sweepSeconds() const;
    int sweepColumns() const;
    void processEventsNow();

    PictureBox& picMain;
    QLabel& lblInfo;
    QSlider& sldSpeed;
    QLineEdit& txtPTime;
    StripChart chart_;
    bool closing_ = false;

    using Clock = std::chrono::steady_clock;
    // The run lets the window look at the clock every few steps, as many as take some 0.1 to
    // 0.4 ms.
    ClockReadings readings_{std::chrono::microseconds(100), std::chrono::microseconds(400),
                            1 << 16};
    Clock::time_point lastEvents_{};
    Clock::time_point lastRepaint_{};
    EventStats stats_;

    WindowClock steadyClock_;
    WindowClock* clock_ = &steadyClock_;
    ColumnSchedule schedule_;
};
