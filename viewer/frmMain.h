#pragma once

#include <QMainWindow>
#include <chrono>
#include <cstdint>

#include "ChartPace.h"
#include "CommonDialog.h"
#include "ModelView.h"
#include "StripChart.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class PictureBox;

// The program's one window: the load-and-run command, the strip chart of a run, Stop, Save
// Image, Exit and the pause field. A run executes inside btnLoadP_Click on this thread; the
// window reaches the user again through Do_Events and the chart's wrap pause.
class frmMain : public QMainWindow, public ModelView {
    Q_OBJECT
  public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // What the model run calls.
    void Clear_Picture() override;
    void Graph_Populations(const int16_t& Nanimals) override;
    void Set_Info_Caption(const std::string& caption) override;
    void Do_Events() override;
    long long Quiet_Steps() override;

    // The file dialog shared by Load and Save Image.
    CommonDialog CommonDialog1;

    // The clock of the chart's pacing and wrap pause; nullptr puts the steady clock back.
    void Set_Clock(WindowClock* clock) { clock_ = clock ? clock : &steadyClock_; }

    // True while Run_Model is executing inside btnLoadP_Click.
    bool Running() const { return running_; }

    // How often the run let the window process its events (since the last Clear_Picture).
    struct EventStats {
        long long calls = 0;        // times pending events were processed
        double maxGapMs = 0;        // longest wall time from one processing to the next
        double busyMs = 0;          // wall time spent processing them
        long long gapsOver2ms = 0;  // rounds that came more than 2 ms after the one before
    };
    const EventStats& Event_Stats() const { return stats_; }

    // floor(Wt / dt / W) with Wt the window-time text as a 16-bit integer; throws LvError
    // (type mismatch, overflow, division by zero) naming the window-time field.
    static int16_t Plot_Interval(const QString& windowTimeText, double dt, float W);
    // The pause at a wrap, in seconds, from the pause-field text; text that is not a number
    // counts as no pause.
    static float Pause_Seconds(const QString& pauseText);

  public slots:
    void btnLoadP_Click();
    void btnStop_Click();
    void mnuSave_Click();
    void mnuExit_Click();
    void txtPTime_Change();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    void showRunning(bool running);
    void wrapPause();
    void paceColumn();
    double sweepSeconds() const;
    int sweepColumns() const;
    void processEventsNow();

    PictureBox* picMain = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnLoadP = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* opt1 = nullptr;
    QRadioButton* opt2 = nullptr;
    QRadioButton* opt3 = nullptr;
    QLineEdit* txtTime = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtWtime = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtPTime = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* optIPOPrand = nullptr;
    QRadioButton* optIPOPfile = nullptr;
    QGroupBox* Frame3 = nullptr;
    QSlider* sldSpeed = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lblInfo = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuExit = nullptr;

    StripChart* chart_ = nullptr;
    bool running_ = false;
    bool closing_ = false;  // closed during a run: finish it without drawing

    using Clock = std::chrono::steady_clock;
    int checkEvery_ = 1;  // steps between clock readings, adapted to the step rate
    Clock::time_point lastCheck_{};
    Clock::time_point lastEvents_{};
    Clock::time_point lastRepaint_{};
    EventStats stats_;

    WindowClock steadyClock_;
    WindowClock* clock_ = &steadyClock_;
    ColumnSchedule schedule_;
};
