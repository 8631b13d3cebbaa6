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
#include "LvError.h"
#include "ModelRun.h"
#include "PlotInterval.h"
#include "Prompts.h"
#include "Subs.h"

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
    runView_ = std::make_unique<RunView>(*picMain, *lblInfo, *sldSpeed, *txtPTime);
}

frmMain::~frmMain() = default;

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
        Run_Model(*runView_, Nanimals, PlotInterval, TotalTime);
        running_ = false;
    } catch (const std::exception& e) {
        // The command ends here; the window and the program go on. A run that failed has no
        // result: the previous run's exponent must not stand under its chart.
        const bool closing = runView_->Closing();
        if (running_ && !closing) lblInfo->setText(QStringLiteral("LE ="));
        running_ = false;
        if (!closing) Show_Error(this, QString::fromStdString(Failure_Text(e)));
    }
    runView_->Render();  // a failed run's chart stays as drawn
    picMain->Flush_Updates();
    showRunning(false);
    runView_->Reopen();
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
        runView_->Close();
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
            runView_->Render();
            Save_Bitmap(picMain->Surface(), QFile::encodeName(file).toStdString());
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
