#include "frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSlider>
#include <cmath>
#include <optional>
#include <sstream>

#include "BitmapFile.h"
#include "Controls.h"
#include "Convert.h"
#include "Globals.h"
#include "Initialisers.h"
#include "LvError.h"
#include "ModelRun.h"
#include "ParamFiles.h"
#include "PlotInterval.h"
#include "Prompts.h"

namespace {

// Layout is given in twips; 15 twips are one pixel at 96 dots per inch.
int px(int twips) {
    return int(std::lround(twips / 15.0));
}
QRect tw(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

// The faces the window was drawn with are Windows fonts; these are the closest ones Debian
// ships (Liberation is metric-compatible with Arial and Times New Roman).
void registerFontSubstitutes() {
    static const bool done = [] {
        QFont::insertSubstitutions(
            QStringLiteral("MS Sans Serif"),
            {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(QStringLiteral("Comic Sans MS"),
                                   {QStringLiteral("Comic Neue"), QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(
            QStringLiteral("Times New Roman"),
            {QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")});
        return true;
    }();
    (void)done;
}

QFont makeFont(const char* face, double points) {
    QFont f(QString::fromLatin1(face));
    f.setPointSizeF(points);
    f.setWeight(QFont::Normal);
    f.setItalic(false);
    return f;
}

// A waiting chart (its pace, its wrap pause) wakes this often: often enough that Stop, the
// menu, the slider and repaints are answered at once, seldom enough that the processor idles.
constexpr std::chrono::milliseconds WaitSlice{3};

const QString LoadFilter =
    QStringLiteral("Kestry Style (*.dat)|*.dat|QV Style (*.p)|*.p|All Files (*.*)|*.*");
const QString SaveFilter = QStringLiteral("Bitmap (*.bmp)|*.bmp");

// A field's conversion error, told with the field it came from.
template <typename F>
auto fromField(const char* field, F&& convert) {
    try {
        return convert();
    } catch (const LvError& e) {
        throw e.within(field);
    }
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    registerFontSubstitutes();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(App_Caption);
    setFont(makeFont("MS Sans Serif", 8.25));
    buildControls();
    chart_ = new StripChart(picMain->Image());
    chart_->setWrapPause([this] { wrapPause(); });
    picMain->Set_Before_Paint([this] { chart_->Render(); });
}

frmMain::~frmMain() {
    delete chart_;
}

void frmMain::buildControls() {
    const QFont captionFont = makeFont("MS Sans Serif", 9.75);
    const QFont buttonFont = makeFont("Comic Sans MS", 12);
    const QFont resultFont = makeFont("Times New Roman", 12);
    const QFont defaultFont = makeFont("MS Sans Serif", 8.25);

    // Fixed layout: every control at its place, no layout managers, so resizing the window
    // moves nothing.
    auto* client = new QWidget(this);
    setCentralWidget(client);

    auto named = [](auto* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    auto button = [&](const char* name, const char* caption) {
        auto* b = named(new WrapButton(QString::fromLatin1(caption), client), name);
        b->setGeometry(tw(120, 120, 1215, 1095));
        b->setFont(buttonFont);
        return b;
    };
    auto option = [&](QWidget* frame, const char* name, const char* caption, QRect r) {
        auto* o = named(new QRadioButton(QString::fromLatin1(caption), frame), name);
        o->setGeometry(r);
        o->setFont(captionFont);
        // The Tab key enters a group at its selected option only.
        connect(o, &QRadioButton::toggled, o,
                [o](bool on) { o->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus); });
        o->setFocusPolicy(Qt::ClickFocus);
        return o;
    };
    auto textBox = [&](QWidget* container, const char* name, const char* text, QRect r) {
        auto* t = named(new QLineEdit(QString::fromLatin1(text), container), name);
        t->setGeometry(r);
        t->setFont(defaultFont);
        return t;
    };
    auto label = [&](const char* name, const char* caption, QRect r, const QFont& font) {
        auto* l = named(new QLabel(QString::fromLatin1(caption), client), name);
        l->setGeometry(r);
        l->setFont(font);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    };
    auto frame = [&](const char* name, const char* caption, QRect r) {
        auto* g = named(new FrameBox(QString::fromLatin1(caption), client), name);
        g->setGeometry(r);
        g->setFont(captionFont);
        return g;
    };

    picMain = named(new PictureBox(tw(120, 1320, 10560, 3810).size(), client), "picMain");
    picMain->move(tw(120, 1320, 0, 0).topLeft());
    btnStop = button("btnStop", "Stop");
    btnLoadP = button("btnLoadP", "Load Param...");
    Frame1 = frame("Frame1", "Total Run Time", tw(1680, 120, 2415, 1095));
    opt1 = option(Frame1, "opt1", "Continuous", tw(120, 230, 1575, 255));
    opt2 = option(Frame1, "opt2", "Set To:", tw(120, 500, 1095, 255));
    opt3 = option(Frame1, "opt3", "From File", tw(120, 760, 1215, 255));
    txtTime = textBox(Frame1, "txtTime", "420", tw(1200, 480, 735, 285));
    Label1 = label("Label1", "Window Time:", tw(4320, 240, 735, 495), captionFont);
    Label1->setWordWrap(true);
    txtWtime = textBox(client, "txtWtime", "210", tw(5160, 360, 495, 285));
    Label2 = label("Label2", "Pause Time:", tw(4320, 720, 735, 495), captionFont);
    Label2->setWordWrap(true);
    txtPTime = textBox(client, "txtPTime", "0", tw(5160, 840, 495, 285));
    Frame2 = frame("Frame2", "Initial Populations", tw(6000, 120, 1815, 855));
    optIPOPrand = option(Frame2, "optIPOPrand", "Random", tw(120, 240, 1215, 255));
    optIPOPfile = option(Frame2, "optIPOPfile", "From File", tw(120, 500, 1455, 255));
    // The speed control, in the space right of "Initial Populations": how long a sweep of
    // the chart takes at least, so that a run can be watched.
    Frame3 = frame("Frame3", "Speed", tw(7980, 120, 2700, 1095));
    sldSpeed = named(new QSlider(Qt::Horizontal, Frame3), "sldSpeed");
    sldSpeed->setGeometry(tw(120, 300, 2460, 360));
    sldSpeed->setRange(Speed::Slowest, Speed::Fastest);
    sldSpeed->setPageStep(3);
    sldSpeed->setValue(Speed::Default);
    sldSpeed->setFocusPolicy(Qt::StrongFocus);
    auto frameLabel = [&](const char* name, const char* caption, QRect r, Qt::Alignment align) {
        auto* l = named(new QLabel(QString::fromLatin1(caption), Frame3), name);
        l->setGeometry(r);
        l->setFont(captionFont);
        l->setAlignment(align | Qt::AlignTop);
        return l;
    };
    Label3 = frameLabel("Label3", "Slow", tw(120, 690, 1230, 255), Qt::AlignLeft);
    Label4 = frameLabel("Label4", "Fast", tw(1350, 690, 1230, 255), Qt::AlignRight);
    lblInfo = label("lblInfo", "LE =", tw(120, 5160, 3855, 255), resultFont);

    opt1->setChecked(true);
    optIPOPfile->setChecked(true);
    btnStop->hide();
    btnLoadP->setDefault(true);

    QWidget::setTabOrder(picMain, btnStop);
    QWidget::setTabOrder(btnStop, btnLoadP);
    QWidget::setTabOrder(btnLoadP, opt1);
    QWidget::setTabOrder(opt1, opt2);
    QWidget::setTabOrder(opt2, opt3);
    QWidget::setTabOrder(opt3, txtTime);
    QWidget::setTabOrder(txtTime, txtWtime);
    QWidget::setTabOrder(txtWtime, txtPTime);
    QWidget::setTabOrder(txtPTime, optIPOPrand);
    QWidget::setTabOrder(optIPOPrand, optIPOPfile);
    QWidget::setTabOrder(optIPOPfile, sldSpeed);

    mnuFile = named(menuBar()->addMenu(QStringLiteral("&File")), "mnuFile");
    mnuSave = named(mnuFile->addAction(QStringLiteral("&Save Image...")), "mnuSave");
    mnuExit = named(mnuFile->addAction(QStringLiteral("&Exit")), "mnuExit");

    connect(btnLoadP, &QPushButton::clicked, this, &frmMain::btnLoadP_Click);
    connect(btnStop, &QPushButton::clicked, this, &frmMain::btnStop_Click);
    connect(mnuSave, &QAction::triggered, this, &frmMain::mnuSave_Click);
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(txtPTime, &QLineEdit::textChanged, this, &frmMain::txtPTime_Change);

    // Client area 718 x 368 below the menu bar.
    resize(px(10770), px(5520) + menuBar()->sizeHint().height());
    picMain->setFocus();
}

// ---- load and run ----

int16_t frmMain::Plot_Interval(const QString& windowTimeText, double dt, float W) {
    const std::string text = windowTimeText.toStdString();
    const int16_t Wt = fromField("Window Time: field", [&] { return Text_To_Int16(text); });
    return ::Plot_Interval(Wt, dt, W);
}

void frmMain::showRunning(bool running) {
    QPushButton* on = running ? btnStop : btnLoadP;
    QPushButton* off = running ? btnLoadP : btnStop;
    off->hide();
    off->setDefault(false);
    on->show();
    on->setDefault(true);
}

void frmMain::btnLoadP_Click() {
    if (running_ || btnLoadP->isHidden()) return;  // the command cannot start twice
    showRunning(true);
    StopRequested = 0;
    CommonDialog1.Filter = LoadFilter;
    CommonDialog1.ShowOpen(this);
    const QString file = CommonDialog1.FileName;
    if (file.isEmpty()) {
        showRunning(false);
        return;
    }
    try {
        const std::string path = QFile::encodeName(file).toStdString();
        const int16_t filterIndex = Round_To_Int16(double(CommonDialog1.FilterIndex));
        // The chosen file type decides the reader, never the file's extension.
        if (filterIndex == 1)
            Load_Dat_File(path);
        else
            Load_P_File(path);
        if (opt1->isChecked()) TotalTime = -1;
        if (opt2->isChecked())
            TotalTime = fromField("Set To: run time field",
                                  [&] { return Text_To_Double(txtTime->text().toStdString()); });
        const float W = picMain->ScaleWidth();
        const int16_t PlotInterval = Plot_Interval(txtWtime->text(), dt, W);
        if (optIPOPrand->isChecked()) Random_Populations(Nanimals);
        running_ = true;
        Run_Model(*this, Nanimals, PlotInterval, TotalTime);
        running_ = false;
    } catch (const std::exception& e) {
        // The command ends here; the window and the program go on. A run that failed has no
        // result: the previous run's exponent must not stand under its chart.
        if (running_ && !closing_) lblInfo->setText(QStringLiteral("LE ="));
        running_ = false;
        if (!closing_) Show_Error(this, QString::fromStdString(Failure_Text(e)));
    }
    chart_->Render();  // a failed run's chart stays as drawn
    picMain->Flush_Updates();
    showRunning(false);
    closing_ = false;
}

// ---- the model run's window calls ----

void frmMain::Clear_Picture() {
    chart_->Clear();
    picMain->Update_All();
    schedule_.Reset();
    stats_ = {};
    lastEvents_ = lastCheck_ = lastRepaint_ = Clock::now();
}

void frmMain::Graph_Populations(const int16_t& Nanimals) {
    if (closing_) return;  // the window is gone; the run is only finishing its step
    paceColumn();
    if (closing_) return;  // closed while the chart waited
    picMain->Update_Column(chart_->Graph_Populations(Nanimals));
    const double sweep = sweepSeconds();
    if (sweep > 0)
        schedule_.Column_Drawn(clock_->Now(), sweep, sweepColumns());
    else
        schedule_.Reset();
}

double frmMain::sweepSeconds() const {
    return Speed::Sweep_Seconds(sldSpeed->value());
}

int frmMain::sweepColumns() const {
    return int(picMain->ScaleWidth()) + 1;
}

void frmMain::paceColumn() {
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

void frmMain::Set_Info_Caption(const std::string& caption) {
    if (closing_) return;
    chart_->Render();
    picMain->Flush_Updates();
    lblInfo->setText(QString::fromStdString(caption));
}

void frmMain::processEventsNow() {
    const Clock::time_point start = Clock::now();
    const double gap = std::chrono::duration<double, std::milli>(start - lastEvents_).count();
    if (gap > stats_.maxGapMs) stats_.maxGapMs = gap;
    if (gap > 2.0) ++stats_.gapsOver2ms;
    // New columns are shown at about the display's rate: a repaint costs some 20 us, far more
    // than looking at the pending input, which happens every millisecond.
    using namespace std::chrono_literals;
    if (start - lastRepaint_ >= 16ms) {
        picMain->Flush_Updates();
        lastRepaint_ = start;
    }
    QCoreApplication::processEvents();
    lastEvents_ = Clock::now();
    stats_.busyMs += std::chrono::duration<double, std::milli>(lastEvents_ - start).count();
    ++stats_.calls;
}

long long frmMain::Quiet_Steps() {
    return checkEvery_ - 1;
}

void frmMain::Do_Events() {
    // Reading the clock costs about as much as a small step, so the run calls this only
    // every few steps (Quiet_Steps), as many as take some 0.1 to 0.4 ms.
    const Clock::time_point now = Clock::now();
    const auto sinceCheck = now - lastCheck_;
    lastCheck_ = now;
    using namespace std::chrono_literals;
    if (sinceCheck < 100us) {
        if (checkEvery_ < (1 << 16)) checkEvery_ *= 2;
    } else if (sinceCheck > 400us && checkEvery_ > 1) {
        checkEvery_ /= 2;
    }
    if (now - lastEvents_ >= 1ms) {
        processEventsNow();
        lastCheck_ = lastEvents_;
    }
}

// ---- strip chart pause ----

float frmMain::Pause_Seconds(const QString& pauseText) {
    int16_t units = 0;
    try {
        units = Text_To_Int16(pauseText.toStdString());
    } catch (const LvError&) {
        return 0;  // still being typed ("-") or not a number: no pause
    }
    const double tenth = double(units) / 10;
    return float(tenth + tenth);
}

void frmMain::wrapPause() {
    using namespace std::chrono;
    const float P = Pause_Seconds(txtPTime->text());
    if (P <= 0) return;
    chart_->Render();  // the finished sweep stays on screen during the pause
    picMain->Flush_Updates();
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

// ---- window commands ----

void frmMain::btnStop_Click() {
    StopRequested = -1;
}

void frmMain::mnuExit_Click() {
    close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The run is further down this thread: have it end after its step, and draw no more.
        StopRequested = -1;
        closing_ = true;
    }
    event->accept();
}

void frmMain::mnuSave_Click() {
    CommonDialog1.InitDir = QDir::homePath();
    CommonDialog1.FileName.clear();
    // Ask before creating a new file, as the window always did, and before replacing one.
    CommonDialog1.Flags = CommonDialog::CreatePrompt | CommonDialog::OverwritePrompt;
    CommonDialog1.Filter = SaveFilter;
    CommonDialog1.ShowSave(this);
    const QString file = CommonDialog1.FileName;
    if (!file.isEmpty()) {
        try {
            chart_->Render();
            Save_Bitmap(picMain->Image(), QFile::encodeName(file).toStdString());
        } catch (const LvError& e) {
            Show_Error(this, QString::fromStdString(e.within("Save Image").what()));
        }
    }
    CommonDialog1.FileName.clear();
}

void frmMain::txtPTime_Change() {
    // Each write below changes the text and so runs this rule again, nested, before the
    // outer run goes on with its next test; the nested run finds the text accepted.
    if (txtPTime->text().isEmpty()) txtPTime->setText(QStringLiteral("1"));
    // Only the value rounded to a whole number counts. Text that is no number is left as
    // typed (a lone "-" on the way to a negative number); numbers beyond the 16-bit range
    // are brought back like any other.
    auto value = [this]() -> std::optional<double> {
        try {
            return std::nearbyint(Text_To_Double(txtPTime->text().toStdString()));
        } catch (const LvError&) {
            return std::nullopt;
        }
    };
    if (auto v = value(); v && *v > 10) txtPTime->setText(QStringLiteral("10"));
    if (auto v = value(); v && *v < 0) txtPTime->setText(QStringLiteral("0"));
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    // A main window has no default button of its own: Enter and Return, wherever the focus is
    // in this window, activate the visible one of the two buttons. Dialogs get their own keys.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton* target = btnLoadP->isVisible() ? btnLoadP : btnStop;
        if (target->isVisible() && target->isDefault()) {
            event->accept();
            target->click();
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}
