#pragma once

#include <QMainWindow>
#include <cstdint>
#include <memory>

#include "ChartPace.h"
#include "CommonDialog.h"
#include "RunView.h"

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
// window reaches the user again through the run view's event processing and the chart's wrap
// pause.
class frmMain : public QMainWindow {
    Q_OBJECT
  public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // One chart column from the table at PlotColumn, which advances; the run calls it through
    // the run view.
    void Graph_Populations(const int16_t& Nanimals) { runView_->Graph_Populations(Nanimals); }

    // The file dialog shared by Load and Save Image.
    CommonDialog CommonDialog1;

    // The window's side of a run: what the model run calls, for a caller that runs the
    // program's model itself.
    RunView& Run_View() { return *runView_; }

    // The clock of the chart's pacing and wrap pause; nullptr puts the steady clock back.
    void Set_Clock(WindowClock* clock) { runView_->Set_Clock(clock); }

    // True while Run_Model is executing inside btnLoadP_Click.
    bool Running() const { return running_; }

    // How often the run let the window process its events (since the last Clear_Picture).
    using EventStats = RunView::EventStats;
    const EventStats& Event_Stats() const { return runView_->Event_Stats(); }

    // floor(Wt / dt / W) with Wt the window-time text as a 16-bit integer; throws LvError
    // (type mismatch, overflow, division by zero) naming the window-time field.
    static int16_t Plot_Interval(const QString& windowTimeText, double dt, float W);
    // The pause at a wrap, in seconds, from the pause-field text; text that is not a number
    // counts as no pause.
    static float Pause_Seconds(const QString& pauseText) {
        return RunView::Pause_Seconds(pauseText);
    }

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

    std::unique_ptr<RunView> runView_;
    bool running_ = false;
};
