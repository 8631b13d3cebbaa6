// The main window, driven as a user would: the file dialog and the message boxes are answered
// through their hooks, keys and clicks go through QTest.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <memory>
#include <thread>

#include "../FileSizeLimit.h"
#include "BitmapFile.h"
#include "CommonDialog.h"
#include "Controls.h"
#include "Globals.h"
#include "LvError.h"
#include "Prompts.h"
#include "frmMain.h"

namespace {

const char* const TwoSpeciesDat =
    "two species, column style\n[2]\n[0.5]\n[0.4]\n[1]\n[1]\n[1]\n[0.5]\n[0.6]\n[1]\n";
const char* const TwoSpeciesP =
    "two species, row style\n2 5 0.01\n1 1.5 \n0.5 0.4 \n255 65280 \n1 0.5 \n0.6 1 \n";
const char* const OneSpeciesP = "one species: no twin to measure\n1 5 0.01\n1 \n0.5 \n255 \n1 \n";

// A clock that only moves when the window sleeps on it (and by a microsecond at each reading,
// for the work between), so that pacing is measured exactly and at once. `at` runs an action
// the first time the clock passes a given time, as a user acting during a wait would.
class FakeClock : public WindowClock {
  public:
    time_point Now() override {
        now_ += std::chrono::microseconds(1);
        fire();
        return now_;
    }
    void Sleep_Until(time_point t) override {
        ++sleeps;
        if (t > now_) now_ = t;
        fire();
    }
    double Seconds() const { return std::chrono::duration<double>(now_ - start_).count(); }
    void At(double seconds, std::function<void()> action) {
        atSeconds_ = seconds;
        action_ = std::move(action);
    }
    long long sleeps = 0;

  private:
    void fire() {
        if (action_ && Seconds() >= atSeconds_) std::exchange(action_, nullptr)();
    }
    time_point start_ = std::chrono::steady_clock::now();
    time_point now_ = start_;
    double atSeconds_ = 0;
    std::function<void()> action_;
};

QString writeFile(const QTemporaryDir& dir, const QString& name, const char* text) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return path;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<frmMain> w;
    std::unique_ptr<QTemporaryDir> tmp;  // fresh for every test
    QList<Prompt> prompts;
    QList<bool> answers;  // answers to questions, in order; "No" when they run out
    QList<CommonDialog::Answer> dialogAnswers;  // cancel when they run out
    QList<CommonDialog> dialogSeen;             // the dialog's settings at each opening
    QList<CommonDialog::Mode> modesSeen;
    std::function<void()> duringDialog;

    template <class T>
    T* get(const char* name) {
        T* c = w->findChild<T*>(QString::fromLatin1(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    static CommonDialog::Answer choose(const QString& path, int filterIndex) {
        return {true, path, filterIndex};
    }
    bool idle() {
        return get<QPushButton>("btnLoadP")->isVisible() &&
               get<QPushButton>("btnLoadP")->isDefault() &&
               !get<QPushButton>("btnStop")->isVisible() &&
               !get<QPushButton>("btnStop")->isDefault();
    }
    QString caption() { return get<QLabel>("lblInfo")->text(); }
    // Runs `action` once the event loop of a run (or of a pause) picks it up.
    void soon(int ms, std::function<void()> action) { QTimer::singleShot(ms, w.get(), action); }

  private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        prompts.clear();
        answers.clear();
        dialogAnswers.clear();
        dialogSeen.clear();
        modesSeen.clear();
        duringDialog = nullptr;
        Set_Prompt_Hook([this](const Prompt& p) {
            prompts << p;
            return p.kind == Prompt::Kind::Question && !answers.isEmpty() && answers.takeFirst();
        });
        CommonDialog::Set_Hook([this](const CommonDialog& d, CommonDialog::Mode m) {
            dialogSeen << d;
            modesSeen << m;
            if (duringDialog) duringDialog();
            if (dialogAnswers.isEmpty()) return CommonDialog::Answer{false, {}, d.FilterIndex};
            return dialogAnswers.takeFirst();
        });
        w = std::make_unique<frmMain>();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        Nanimals = 0;
        StopRequested = 0;
        // Unpaced, as fast as the model goes, unless a test sets the speed.
        get<QSlider>("sldSpeed")->setValue(get<QSlider>("sldSpeed")->maximum());
    }
    void cleanup() {
        w.reset();
        tmp.reset();
        Set_Prompt_Hook(nullptr);
        CommonDialog::Set_Hook(nullptr);
    }

    // ---- start-up state ----

    void startsIdleWithTheStoredTexts() {
        QCOMPARE(w->windowTitle(), QString("Lotka-Volterra Model Viewer"));
        QCOMPARE(get<QPushButton>("btnLoadP")->text(), QString("Load Param..."));
        QCOMPARE(get<QPushButton>("btnStop")->text(), QString("Stop"));
        QVERIFY(idle());
        QCOMPARE(get<QGroupBox>("Frame1")->title(), QString("Total Run Time"));
        QCOMPARE(get<QGroupBox>("Frame2")->title(), QString("Initial Populations"));
        QCOMPARE(get<QRadioButton>("opt1")->text(), QString("Continuous"));
        QCOMPARE(get<QRadioButton>("opt2")->text(), QString("Set To:"));
        QCOMPARE(get<QRadioButton>("opt3")->text(), QString("From File"));
        QCOMPARE(get<QRadioButton>("optIPOPrand")->text(), QString("Random"));
        QCOMPARE(get<QRadioButton>("optIPOPfile")->text(), QString("From File"));
        QVERIFY(get<QRadioButton>("opt1")->isChecked());
        QVERIFY(!get<QRadioButton>("opt2")->isChecked());
        QVERIFY(!get<QRadioButton>("opt3")->isChecked());
        QVERIFY(!get<QRadioButton>("optIPOPrand")->isChecked());
        QVERIFY(get<QRadioButton>("optIPOPfile")->isChecked());
        QCOMPARE(get<QLineEdit>("txtTime")->text(), QString("420"));
        QCOMPARE(get<QLineEdit>("txtWtime")->text(), QString("210"));
        QCOMPARE(get<QLineEdit>("txtPTime")->text(), QString("0"));
        QCOMPARE(get<QLabel>("Label1")->text(), QString("Window Time:"));
        QCOMPARE(get<QLabel>("Label2")->text(), QString("Pause Time:"));
        QCOMPARE(caption(), QString("LE ="));
        QCOMPARE(QApplication::focusWidget(), get<QWidget>("picMain"));
        QCOMPARE(get<QGroupBox>("Frame3")->title(), QString("Speed"));
        QCOMPARE(get<QLabel>("Label3")->text(), QString("Slow"));
        QCOMPARE(get<QLabel>("Label4")->text(), QString("Fast"));
        QVERIFY(get<QLabel>("Label4")->alignment() & Qt::AlignRight);
        // A new window starts at about 3 s a sweep, whatever the last one was set to.
        frmMain fresh;
        auto* speed = fresh.findChild<QSlider*>("sldSpeed");
        QCOMPARE(Speed::Sweep_Seconds(speed->value()), 20 * std::pow(10.0, -5 / 6.0));
        QVERIFY(std::abs(Speed::Sweep_Seconds(speed->value()) - 3) < 0.1);
    }

    void speedPositionsFromTwentySecondsToUnpaced() {
        auto* speed = get<QSlider>("sldSpeed");
        QCOMPARE(speed->orientation(), Qt::Horizontal);
        QCOMPARE(Speed::Sweep_Seconds(speed->minimum()), 20.0);
        QCOMPARE(Speed::Sweep_Seconds(speed->maximum()), 0.0);
        for (int p = speed->minimum(); p + 2 < speed->maximum(); ++p)
            QVERIFY(std::abs(Speed::Sweep_Seconds(p) / Speed::Sweep_Seconds(p + 1) -
                             std::pow(10.0, 1 / 6.0)) < 1e-12);
        // The keys: Home the slowest, End the fastest, arrows a position, pages three.
        speed->setFocus();
        QTest::keyClick(speed, Qt::Key_Home);
        QCOMPARE(speed->value(), speed->minimum());
        QTest::keyClick(speed, Qt::Key_Right);
        QCOMPARE(speed->value(), 1);
        QTest::keyClick(speed, Qt::Key_PageUp);
        QCOMPARE(speed->value(), 4);
        QTest::keyClick(speed, Qt::Key_Left);
        QCOMPARE(speed->value(), 3);
        QTest::keyClick(speed, Qt::Key_PageDown);
        QCOMPARE(speed->value(), 0);
        QTest::keyClick(speed, Qt::Key_End);
        QCOMPARE(speed->value(), speed->maximum());
        QVERIFY(!speed->findChild<QWidget*>());
        for (const char* name : {"Frame3", "Label3", "Label4"})
            QCOMPARE(get<QWidget>(name)->focusPolicy(), Qt::NoFocus);
    }

    void menuHasAccessKeysAndNoShortcuts() {
        auto* file = get<QMenu>("mnuFile");
        QCOMPARE(file->title(), QString("&File"));
        const QList<QAction*> items = file->actions();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->objectName(), QString("mnuSave"));
        QCOMPARE(items[0]->text(), QString("&Save Image..."));
        QCOMPARE(items[1]->objectName(), QString("mnuExit"));
        QCOMPARE(items[1]->text(), QString("&Exit"));
        for (QAction* a : items) {
            QVERIFY(a->shortcut().isEmpty());
            QVERIFY(a->isEnabled() && a->isVisible() && !a->isCheckable());
        }
        QCOMPARE(w->menuBar()->actions().size(), 1);
    }

    void everyControlAtItsPlace_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        // Twips of the layout / 15, relative to the client area or the frame's outer corner.
        QTest::newRow("picMain") << "picMain" << QRect(8, 88, 704, 254);
        QTest::newRow("btnStop") << "btnStop" << QRect(8, 8, 81, 73);
        QTest::newRow("btnLoadP") << "btnLoadP" << QRect(8, 8, 81, 73);
        QTest::newRow("Frame1") << "Frame1" << QRect(112, 8, 161, 73);
        QTest::newRow("opt1") << "opt1" << QRect(8, 15, 105, 17);
        QTest::newRow("opt2") << "opt2" << QRect(8, 33, 73, 17);
        QTest::newRow("opt3") << "opt3" << QRect(8, 51, 81, 17);
        QTest::newRow("txtTime") << "txtTime" << QRect(80, 32, 49, 19);
        QTest::newRow("Label1") << "Label1" << QRect(288, 16, 49, 33);
        QTest::newRow("txtWtime") << "txtWtime" << QRect(344, 24, 33, 19);
        QTest::newRow("Label2") << "Label2" << QRect(288, 48, 49, 33);
        QTest::newRow("txtPTime") << "txtPTime" << QRect(344, 56, 33, 19);
        QTest::newRow("Frame2") << "Frame2" << QRect(400, 8, 121, 57);
        QTest::newRow("optIPOPrand") << "optIPOPrand" << QRect(8, 16, 81, 17);
        QTest::newRow("optIPOPfile") << "optIPOPfile" << QRect(8, 33, 97, 17);
        QTest::newRow("lblInfo") << "lblInfo" << QRect(8, 344, 257, 17);
        QTest::newRow("Frame3") << "Frame3" << QRect(532, 8, 180, 73);
        QTest::newRow("sldSpeed") << "sldSpeed" << QRect(8, 20, 164, 24);
        QTest::newRow("Label3") << "Label3" << QRect(8, 46, 82, 17);
        QTest::newRow("Label4") << "Label4" << QRect(90, 46, 82, 17);
    }
    void everyControlAtItsPlace() {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        QWidget* c = get<QWidget>(name.toLatin1().constData());
        QCOMPARE(c->geometry(), rect);
        // Enlarging or shrinking the window moves nothing.
        w->resize(1000, 700);
        QTest::qWait(1);
        QCOMPARE(c->geometry(), rect);
        w->resize(300, 200);
        QTest::qWait(1);
        QCOMPARE(c->geometry(), rect);
    }

    void clientAreaAndDrawingSurface() {
        QCOMPARE(w->centralWidget()->size(), QSize(718, 368));
        auto* pic = get<PictureBox>("picMain");
        QCOMPARE(pic->ScaleWidth(), 700.0f);
        QCOMPARE(pic->ScaleHeight(), 250.0f);
        QCOMPARE(pic->contentsRect(), QRect(2, 2, 700, 250));
        QCOMPARE(pic->Image().pixel(0, 0), qRgb(255, 255, 255));
    }

    void fontsAndCaptionsFit() {
        auto face = [this](const char* name) {
            return QFontInfo(get<QWidget>(name)->font()).family();
        };
        QCOMPARE(face("btnLoadP"), QString("Comic Neue"));
        QCOMPARE(face("lblInfo"), QString("Liberation Serif"));
        QCOMPARE(face("Label1"), QString("Liberation Sans"));
        QCOMPARE(face("txtTime"), QString("Liberation Sans"));
        QCOMPARE(get<QWidget>("btnLoadP")->font().pointSizeF(), 12.0);
        QCOMPARE(get<QWidget>("lblInfo")->font().pointSizeF(), 12.0);
        QCOMPARE(get<QWidget>("opt1")->font().pointSizeF(), 9.75);
        QCOMPARE(get<QWidget>("txtWtime")->font().pointSizeF(), 8.25);
        // The two-line labels: each word on its own line, both inside the label.
        for (const char* name : {"Label1", "Label2"}) {
            QLabel* l = get<QLabel>(name);
            const QFontMetrics fm(l->font());
            const QRect need =
                fm.boundingRect(QRect(0, 0, l->width(), 1000), Qt::TextWordWrap, l->text());
            QVERIFY2(need.height() <= l->height() && need.height() >= 2 * fm.height() - 1, name);
            for (const QString& word : l->text().split(' '))
                QVERIFY2(fm.horizontalAdvance(word) <= l->width(), qPrintable(word));
        }
        // "Load Param..." wraps to fit its button.
        auto* b = get<QPushButton>("btnLoadP");
        const QFontMetrics fm(b->font());
        const QRect need =
            fm.boundingRect(QRect(0, 0, b->width() - 8, 1000), Qt::TextWordWrap, b->text());
        QVERIFY(need.width() <= b->width() - 8 && need.height() <= b->height() - 8);
        for (const char* name : {"opt1", "opt2", "opt3", "optIPOPrand", "optIPOPfile"})
            QVERIFY2(get<QWidget>(name)->sizeHint().width() <= get<QWidget>(name)->width() + 2,
                     name);
    }

    void tabPassesTheHiddenStopAndUnselectedOptions() {
        get<QWidget>("picMain")->setFocus();
        const QStringList expected = {"btnLoadP", "opt1",        "txtTime",  "txtWtime",
                                      "txtPTime", "optIPOPfile", "sldSpeed", "picMain"};
        for (const QString& name : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
        }
        // Shift+Tab from the drawing area at start-up reaches the speed control.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("sldSpeed"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        // After "Random" is chosen the Tab key enters that group at "Random".
        get<QRadioButton>("optIPOPrand")->setChecked(true);
        get<QWidget>("txtPTime")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("optIPOPrand"));
    }

    void everyControlThatTakesTheFocusShowsIt() {
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        get<QWidget>("picMain")->setFocus();
        // Moved by the Tab key, as the focus marks are drawn for the keyboard's focus.
        for (const char* name : {"btnLoadP", "opt1", "txtTime", "txtWtime", "txtPTime",
                                 "optIPOPfile", "sldSpeed", "picMain"}) {
            QWidget* c = get<QWidget>(name);
            QVERIFY(!c->hasFocus());
            const QImage without = c->grab().toImage();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(c->hasFocus(), name);
            QVERIFY2(c->grab().toImage() != without, name);
        }
    }

    void optionGroupsAreIndependent() {
        QTest::mouseClick(get<QRadioButton>("optIPOPrand"), Qt::LeftButton);
        QVERIFY(get<QRadioButton>("optIPOPrand")->isChecked());
        QVERIFY(!get<QRadioButton>("optIPOPfile")->isChecked());
        QVERIFY(get<QRadioButton>("opt1")->isChecked());
        QTest::mouseClick(get<QRadioButton>("opt3"), Qt::LeftButton);
        QVERIFY(get<QRadioButton>("opt3")->isChecked());
        QVERIFY(!get<QRadioButton>("opt1")->isChecked());
        QVERIFY(get<QRadioButton>("optIPOPrand")->isChecked());
        QTest::mouseClick(get<QRadioButton>("optIPOPfile"), Qt::LeftButton);
        QVERIFY(get<QRadioButton>("opt3")->isChecked());
        QVERIFY(!get<QRadioButton>("optIPOPrand")->isChecked());
    }

    // ---- the pause field ----

    void pauseFieldKeepsZeroToTen_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("cleared") << ""
                                 << "1";
        QTest::newRow("25") << "25"
                            << "10";
        QTest::newRow("-3 pasted") << "-3"
                                   << "0";
        QTest::newRow("10") << "10"
                            << "10";
        QTest::newRow("0") << "0"
                           << "0";
        QTest::newRow("10.5 is 10") << "10.5"
                                    << "10.5";
        QTest::newRow("11.5 is 12") << "11.5"
                                    << "10";
        QTest::newRow("7.6") << "7.6"
                             << "7.6";
        QTest::newRow("-0.5 is 0") << "-0.5"
                                   << "-0.5";
        QTest::newRow("blanks") << " 5 "
                                << " 5 ";
        QTest::newRow("lone minus") << "-"
                                    << "-";
        QTest::newRow("abc") << "abc"
                             << "abc";
        QTest::newRow("beyond 16 bits") << "40000"
                                        << "10";
        QTest::newRow("below 16 bits") << "-40000"
                                       << "0";
    }
    void pauseFieldKeepsZeroToTen() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        auto* t = get<QLineEdit>("txtPTime");
        t->setText("3");
        t->setText(typed);
        QCOMPARE(t->text(), shown);
        QVERIFY(prompts.isEmpty());  // never an error
    }

    void pauseFieldWhileTyping() {
        auto* t = get<QLineEdit>("txtPTime");
        QSignalSpy changes(t, &QLineEdit::textChanged);
        t->setFocus();
        t->selectAll();
        QTest::keyClick(t, Qt::Key_Backspace);  // "" -> "1", the rule runs again nested
        QCOMPARE(t->text(), QString("1"));
        QCOMPARE(changes.size(), 2);
        t->selectAll();
        QTest::keyClicks(t, "-3");  // "-" stays while typing, "-3" becomes "0"
        QCOMPARE(t->text(), QString("0"));
        t->selectAll();
        QTest::keyClicks(t, "12");  // "1" stays, "12" becomes "10"
        QCOMPARE(t->text(), QString("10"));
        QVERIFY(prompts.isEmpty());
    }

    void pauseLengthFromTheField() {
        QCOMPARE(frmMain::Pause_Seconds("0"), 0.0f);
        QCOMPARE(frmMain::Pause_Seconds("10"), 2.0f);
        QCOMPARE(frmMain::Pause_Seconds("1"), 0.2f);
        QCOMPARE(frmMain::Pause_Seconds("10.5"), 2.0f);
        QCOMPARE(frmMain::Pause_Seconds("-"), 0.0f);
        QCOMPARE(frmMain::Pause_Seconds("abc"), 0.0f);
    }

    // ---- load and run ----

    void plotInterval_data() {
        QTest::addColumn<QString>("wt");
        QTest::addColumn<double>("step");
        QTest::addColumn<float>("width");
        QTest::addColumn<int>("expected");
        QTest::newRow("exact 30") << "210" << 0.01 << 700.0f << 30;
        QTest::newRow("W 800") << "210" << 0.01 << 800.0f << 26;
        QTest::newRow("W 640") << "210" << 0.01 << 640.0f << 32;
        QTest::newRow("window time 1") << "1" << 0.01 << 700.0f << 0;
        // A fractional window time is first rounded, halves to even.
        QTest::newRow("210.5 is 210") << "210.5" << 1.0 << 1.0f << 210;
        QTest::newRow("211.5 is 212") << "211.5" << 1.0 << 1.0f << 212;
        QTest::newRow("negative floors down") << "-1" << 0.01 << 700.0f << -1;
    }
    void plotInterval() {
        QFETCH(QString, wt);
        QFETCH(double, step);
        QFETCH(float, width);
        QFETCH(int, expected);
        QCOMPARE(int(frmMain::Plot_Interval(wt, step, width)), expected);
    }

    void plotIntervalErrorsNameTheField() {
        auto kindOf = [](const QString& wt, double step) {
            try {
                frmMain::Plot_Interval(wt, step, 700.0f);
            } catch (const LvError& e) {
                return std::make_pair(e.kind(), QString::fromStdString(e.what()));
            }
            return std::make_pair(ErrorKind::InvalidCall, QString("no error"));
        };
        auto [k1, m1] = kindOf("abc", 0.01);
        QCOMPARE(k1, ErrorKind::TypeMismatch);
        QVERIFY2(m1.contains("Window Time") && m1.contains("abc"), qPrintable(m1));
        QCOMPARE(kindOf("40000", 0.01).first, ErrorKind::Overflow);
        QCOMPARE(kindOf("210", 0.0).first, ErrorKind::DivisionByZero);
        QCOMPARE(kindOf("210", 1e-9).first, ErrorKind::Overflow);
    }

    void filterIndexChoosesTheReader() {
        const QString dat = writeFile(*tmp, "two.dat", TwoSpeciesDat);
        // Kestry Style: the column reader, which fixes TotalTime 800 ("From File" keeps it),
        // here cut short to a model time of 1 by "Set To:".
        get<QRadioButton>("opt2")->setChecked(true);
        get<QLineEdit>("txtTime")->setText("1");
        dialogAnswers << choose(dat, 1);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QVERIFY2(prompts.isEmpty(), prompts.isEmpty() ? "" : qPrintable(prompts[0].text));
        QCOMPARE(modesSeen.value(0), CommonDialog::Mode::Open);
        QCOMPARE(dialogSeen[0].Filter,
                 QString("Kestry Style (*.dat)|*.dat|QV Style (*.p)|*.p|All Files (*.*)|*.*"));
        QCOMPARE(dialogSeen[0].NameFilters(),
                 QStringList({"Kestry Style (*.dat)", "QV Style (*.p)", "All Files (*.*)"}));
        QCOMPARE(Nanimals, int16_t(2));
        QCOMPARE(Species(1).x != 0.4, true);  // the run moved the populations on
        QCOMPARE(TotalTime, 1.0);
        QCOMPARE(dt, 0.01);
        QVERIFY(caption().startsWith("LE = "));
        QVERIFY(caption().endsWith("\r\n\r\n"));
        QVERIFY(idle());

        // The same file under "All Files": the row reader, which cannot read it.
        const QString before = caption();
        Nanimals = 7;
        dialogAnswers << choose(dat, 3);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QCOMPARE(prompts.size(), 1);
        QCOMPARE(prompts[0].kind, Prompt::Kind::Error);
        QVERIFY2(prompts[0].text.contains("two.dat") && prompts[0].text.contains("line"),
                 qPrintable(prompts[0].text));
        QCOMPARE(Nanimals, int16_t(7));  // a failed load changes nothing
        QCOMPARE(caption(), before);
        QVERIFY(idle());
    }

    void rowStyleFromFileRunsTheFilesTime() {
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        get<QRadioButton>("opt3")->setChecked(true);
        dialogAnswers << choose(p, 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QVERIFY(prompts.isEmpty());
        QCOMPARE(TotalTime, 5.0);
        QCOMPARE(Species(0).Color, 255);
        QCOMPARE(Species(1).Color, 65280);
        // 501 steps at 31 steps a column: 16 columns drawn, the first at step 31.
        QCOMPARE(PlotColumn, int16_t(16));
        auto* pic = get<PictureBox>("picMain");
        const int y0 = qRound(250 - Species(0).x * 250);
        QCOMPARE(pic->Image().pixel(15, y0), qRgb(255, 0, 0));
        QCOMPARE(pic->Image().pixel(16, y0), qRgb(255, 255, 255));
        QVERIFY(idle());
    }

    void cancelLeavesEverythingAsItWas() {
        Nanimals = 3;
        TotalTime = 12.5;
        Species(0).x = 0.25;
        dialogAnswers << CommonDialog::Answer{false, {}, 2};
        bool runningDuringDialog = false;
        duringDialog = [&] {
            runningDuringDialog = !idle() && get<QPushButton>("btnStop")->isDefault();
        };
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QVERIFY(runningDuringDialog);
        QCOMPARE(Nanimals, int16_t(3));
        QCOMPARE(TotalTime, 12.5);
        QCOMPARE(Species(0).x, 0.25);
        QVERIFY(w->CommonDialog1.FileName.isEmpty());
        QCOMPARE(caption(), QString("LE ="));
        QVERIFY(prompts.isEmpty());
        QVERIFY(idle());
    }

    void enterActivatesTheVisibleButtonAnywhere() {
        // Idle: Enter in a text box starts the load command (here cancelled at its dialog).
        get<QLineEdit>("txtWtime")->setFocus();
        QTest::keyClick(get<QLineEdit>("txtWtime"), Qt::Key_Return);
        QCOMPARE(dialogSeen.size(), 1);
        QVERIFY(idle());
        get<QRadioButton>("opt1")->setFocus();
        QTest::keyClick(get<QWidget>("opt1"), Qt::Key_Enter);
        QCOMPARE(dialogSeen.size(), 2);
        // Running: Enter presses "Stop".
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        dialogAnswers << choose(p, 2);
        soon(50, [this] { QTest::keyClick(get<QLineEdit>("txtPTime"), Qt::Key_Return); });
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QCOMPARE(dialogSeen.size(), 3);  // Enter did not start a second command
        QCOMPARE(StopRequested, int16_t(-1));
        QVERIFY(caption().startsWith("LE = "));
        QVERIFY(idle());
    }

    void stopEndsAContinuousRun() {
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        dialogAnswers << choose(p, 2);
        bool sawRunning = false;
        // Stop 0.1 s after the dialog closed.
        duringDialog = [&] {
            soon(100, [&] {
                sawRunning = w->Running() && get<QPushButton>("btnStop")->isVisible();
                QTest::mouseClick(get<QPushButton>("btnStop"), Qt::LeftButton);
            });
        };
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QVERIFY(sawRunning);
        QCOMPARE(TotalTime, -1.0);  // "Continuous" whatever the file says
        QVERIFY(caption().startsWith("LE = "));
        QVERIFY(idle());
        QVERIFY(!w->Running());
        // Events were processed throughout the 0.1 s (about every millisecond), not only now
        // and then.
        QVERIFY2(w->Event_Stats().calls > 20, qPrintable(QString::number(w->Event_Stats().calls)));
    }

    void pauseWaitsAtTheWrapAndProcessesEvents() {
        // Window time 1 draws a column every step; 8 model units are 800 steps, so the
        // chart wraps once, after column 700, and waits 0.2 s there.
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        get<QRadioButton>("opt2")->setChecked(true);
        get<QLineEdit>("txtTime")->setText("8");
        get<QLineEdit>("txtWtime")->setText("1");
        get<QLineEdit>("txtPTime")->setText("1");
        dialogAnswers << choose(p, 2);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QVERIFY(clock.elapsed() >= 200);
        QVERIFY(PlotColumn >= 99 && PlotColumn <= 100);  // wrapped after column 700
        QVERIFY(prompts.isEmpty());
    }

    // ---- the speed control's pacing ----

    // A two-species run with a column every step ("Window Time:" 1) over `time` model units,
    // at the speed position given, on `clock`.
    void pacedRun(FakeClock& clock, int position, const QString& time, const QString& pause) {
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        w->Set_Clock(&clock);
        get<QSlider>("sldSpeed")->setValue(position);
        get<QRadioButton>(time.isEmpty() ? "opt1" : "opt2")->setChecked(true);
        get<QLineEdit>("txtTime")->setText(time);
        get<QLineEdit>("txtWtime")->setText("1");
        get<QLineEdit>("txtPTime")->setText(pause);
        dialogAnswers << choose(p, 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        w->Set_Clock(nullptr);
    }

    void aSweepTakesTheTimeTheSpeedSets_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("pause");
        QTest::addColumn<double>("pauseSeconds");
        QTest::newRow("slowest") << 0 << "0" << 0.0;
        QTest::newRow("default") << int(Speed::Default) << "0" << 0.0;
        QTest::newRow("fast") << 10 << "0" << 0.0;
        QTest::newRow("default, wrap pause on top") << int(Speed::Default) << "5" << 1.0;
    }
    void aSweepTakesTheTimeTheSpeedSets() {
        QFETCH(int, position);
        QFETCH(QString, pause);
        QFETCH(double, pauseSeconds);
        FakeClock clock;
        pacedRun(clock, position, "12", pause);  // 1,200 columns: one wrap
        QVERIFY(prompts.isEmpty());
        QVERIFY(PlotColumn > 400 && PlotColumn < 701);
        // Column c of a sweep comes c / 701 of the sweep time after the sweep began, and
        // the next sweep begins after the wrap pause.
        const double T = Speed::Sweep_Seconds(position);
        const double expected = 700 * T / 701 + T / 701 + pauseSeconds + (PlotColumn - 1) * T / 701;
        QVERIFY2(std::abs(clock.Seconds() - expected) < 0.02 * expected,
                 qPrintable(QString("%1 s, expected %2 s").arg(clock.Seconds()).arg(expected)));
        QVERIFY(clock.sleeps > 0);
    }

    void theFastestPositionNeverWaits() {
        FakeClock clock;
        pacedRun(clock, get<QSlider>("sldSpeed")->maximum(), "12", "0");
        QVERIFY(caption().startsWith("LE = "));
        QCOMPARE(clock.sleeps, 0);
    }

    void theSliderCountsFromTheNextColumn() {
        FakeClock clock;
        long long sleepsBefore = -1;
        clock.At(1.0, [&] {
            get<QSlider>("sldSpeed")->setValue(get<QSlider>("sldSpeed")->maximum());
            sleepsBefore = clock.sleeps;
        });
        pacedRun(clock, 0, "12", "0");
        QVERIFY(caption().startsWith("LE = "));
        QVERIFY(sleepsBefore > 0);
        QCOMPARE(clock.sleeps, sleepsBefore);  // the rest of the run went unpaced
        QVERIFY(clock.Seconds() < 1.05);
    }

    void stopOrCloseDuringAPacedWaitEndsTheRunAtOnce_data() {
        QTest::addColumn<bool>("close");
        QTest::newRow("Stop") << false;
        QTest::newRow("closing the window") << true;
    }
    void stopOrCloseDuringAPacedWaitEndsTheRunAtOnce() {
        QFETCH(bool, close);
        FakeClock clock;
        double stoppedAt = -1;
        int16_t columnAtStop = -1;
        // At the slowest a column waits some 28 ms; 5 s falls a quarter into such a wait.
        clock.At(5.0, [&] {
            soon(0, [&] {
                stoppedAt = clock.Seconds();
                columnAtStop = PlotColumn;
                if (close)
                    w->close();
                else
                    QTest::mouseClick(get<QPushButton>("btnStop"), Qt::LeftButton);
            });
        });
        pacedRun(clock, 0, "", "0");  // continuous
        QVERIFY(stoppedAt >= 5.0);
        QVERIFY2(clock.Seconds() - stoppedAt < 0.004,
                 qPrintable(QString("ended %1 s after").arg(clock.Seconds() - stoppedAt)));
        QVERIFY(!w->Running());
        if (close) {
            QCOMPARE(PlotColumn, columnAtStop);  // a closed window draws nothing more
        } else {
            QCOMPARE(PlotColumn, columnAtStop + 1);  // the current step's column, then the end
            QVERIFY(caption().startsWith("LE = "));
        }
    }

    void pacingChangesNoPixelAndNoDigit() {
        FakeClock slow;
        pacedRun(slow, 0, "16", "0");
        const QImage slowChart = get<PictureBox>("picMain")->Image().copy();
        const QString slowCaption = caption();
        const double slowLE = LE;
        const double slowX = Species(1).x;
        QVERIFY(slow.Seconds() > 40);
        FakeClock fast;
        pacedRun(fast, get<QSlider>("sldSpeed")->maximum(), "16", "0");
        QCOMPARE(get<PictureBox>("picMain")->Image(), slowChart);
        QCOMPARE(caption(), slowCaption);
        QCOMPARE(std::memcmp(&LE, &slowLE, sizeof LE), 0);
        QCOMPARE(std::memcmp(&Species(1).x, &slowX, sizeof slowX), 0);
        QVERIFY(prompts.isEmpty());
    }

    void closingDuringARunEndsItWithoutDrawing() {
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        dialogAnswers << choose(p, 2);
        int16_t columnAtClose = -1;
        soon(100, [&] {
            columnAtClose = PlotColumn;
            get<QMenu>("mnuFile")->actions()[1]->trigger();  // "&Exit"
        });
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QVERIFY(!w->Running());
        QCOMPARE(PlotColumn, columnAtClose);
        QCOMPARE(caption(), QString("LE ="));
        QVERIFY(prompts.isEmpty());
    }

    void closingDuringAPauseEndsTheWait() {
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        get<QRadioButton>("opt2")->setChecked(true);
        get<QLineEdit>("txtTime")->setText("8");
        get<QLineEdit>("txtWtime")->setText("1");
        get<QLineEdit>("txtPTime")->setText("10");  // 2 s
        dialogAnswers << choose(p, 2);
        soon(300, [&] { w->close(); });
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QVERIFY2(clock.elapsed() < 1500, "the pause ran on after the window closed");
        QVERIFY(!w->Running());
        QVERIFY(PlotColumn <= 1);  // the wrap was reached, and nothing drawn after it
    }

    void errorsAreShownAndTheCommandEnds() {
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        // A bad field.
        get<QLineEdit>("txtWtime")->setText("abc");
        dialogAnswers << choose(p, 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QCOMPARE(prompts.size(), 1);
        QVERIFY2(prompts[0].text.startsWith("Type mismatch") &&
                     prompts[0].text.contains("Window Time") && prompts[0].text.contains("abc"),
                 qPrintable(prompts[0].text));
        QVERIFY(idle());
        get<QLineEdit>("txtWtime")->setText("210");
        get<QRadioButton>("opt2")->setChecked(true);
        get<QLineEdit>("txtTime")->setText("x1");
        dialogAnswers << choose(p, 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QCOMPARE(prompts.size(), 2);
        QVERIFY2(prompts[1].text.contains("Set To") && prompts[1].text.contains("x1"),
                 qPrintable(prompts[1].text));
        // A missing file.
        get<QLineEdit>("txtTime")->setText("1");
        dialogAnswers << choose(tmp->filePath("gone.p"), 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QCOMPARE(prompts.size(), 3);
        QVERIFY2(prompts[2].text.contains("gone.p"), qPrintable(prompts[2].text));
        // A failing run: one species gives the twin nothing to drift in, ln(0) in step 1.
        const QString one = writeFile(*tmp, "one.p", OneSpeciesP);
        dialogAnswers << choose(one, 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QCOMPARE(prompts.size(), 4);
        QVERIFY2(prompts[3].text.startsWith("Invalid procedure call or argument"),
                 qPrintable(prompts[3].text));
        QCOMPARE(caption(), QString("LE ="));
        QVERIFY(idle());
        QVERIFY(w->isVisible());
    }

    void aFailedRunSaysWhereAndLeavesNoResultStanding() {
        // A good run first, so that an exponent stands under the chart.
        const QString good = writeFile(*tmp, "two.p", TwoSpeciesP);
        get<QRadioButton>("opt3")->setChecked(true);
        dialogAnswers << choose(good, 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QVERIFY(caption().startsWith("LE = "));
        // A population of -1e9 lies far below the chart: its row overflows at the first
        // column, after 31 steps. lv-run names the same step and column.
        const QString wild =
            writeFile(*tmp, "wild.p", "c\n2 10 0.01\n0 1 \n-1e9 0.5 \n255 255 \n0 0 \n0 1 \n");
        dialogAnswers << choose(wild, 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QCOMPARE(prompts.size(), 1);
        QVERIFY2(prompts[0].text.startsWith("Overflow: strip chart at step 31, column 0, "),
                 qPrintable(prompts[0].text));
        QCOMPARE(caption(), QString("LE ="));
        QVERIFY(idle());
    }

    // ---- Save Image ----

    void saveWritesExactlyTheTypedName() {
        // Before any run: the empty, white surface.
        const QString path = tmp->filePath("chart");
        dialogAnswers << choose(path, 1);
        answers << true;  // "Create the file?"
        get<QMenu>("mnuFile")->actions()[0]->trigger();
        QCOMPARE(modesSeen.value(0), CommonDialog::Mode::Save);
        const CommonDialog& seen = dialogSeen[0];
        QCOMPARE(seen.InitDir, QDir::homePath());
        QVERIFY(seen.FileName.isEmpty());
        QVERIFY(seen.Flags & CommonDialog::CreatePrompt);
        QCOMPARE(seen.Filter, QString("Bitmap (*.bmp)|*.bmp"));
        QCOMPARE(prompts.size(), 1);
        QVERIFY(prompts[0].text.contains("Create"));
        QVERIFY(QFile::exists(path));
        QVERIFY(!QFile::exists(path + ".bmp"));
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        QCOMPARE(f.read(2), QByteArray("BM"));
        const QImage img(path, "BMP");
        QCOMPARE(img.size(), QSize(700, 250));
        QCOMPARE(img.convertToFormat(QImage::Format_RGB32), get<PictureBox>("picMain")->Image());
        QCOMPARE(img.pixel(350, 125), qRgb(255, 255, 255));
        // Byte for byte what lv-run writes for the same picture.
        f.seek(0);
        const std::string bytes = Bitmap_Bytes(get<PictureBox>("picMain")->Surface());
        QCOMPARE(f.readAll(), QByteArray(bytes.data(), qsizetype(bytes.size())));
        QVERIFY(w->CommonDialog1.FileName.isEmpty());

        // The open dialog then starts where Save Image left it; only the filters change.
        dialogAnswers.clear();
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QCOMPARE(dialogSeen[1].InitDir, QDir::homePath());
        QCOMPARE(dialogSeen[1].Flags, seen.Flags);
        QCOMPARE(dialogSeen[1].FilterIndex, 1);
    }

    void saveAsksBeforeReplacing() {
        const QString path = writeFile(*tmp, "old.bmp", "keep me");
        // "No" to the overwrite question goes back to the dialog, which is then cancelled.
        dialogAnswers << choose(path, 1);
        answers << false;
        get<QMenu>("mnuFile")->actions()[0]->trigger();
        QCOMPARE(dialogSeen.size(), 2);
        QCOMPARE(prompts.size(), 1);
        QVERIFY(prompts[0].text.contains("replace"));
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        QCOMPARE(f.readAll(), QByteArray("keep me"));
        f.close();
        QVERIFY(w->CommonDialog1.FileName.isEmpty());
        // "Yes" replaces it.
        dialogAnswers << choose(path, 1);
        answers << true;
        get<QMenu>("mnuFile")->actions()[0]->trigger();
        QCOMPARE(QImage(path, "BMP").size(), QSize(700, 250));
    }

    void saveFailureSaysWhyAndKeepsTheOldFile() {
        dialogAnswers << choose(tmp->filePath("missing/chart.bmp"), 1);
        answers << true;
        get<QMenu>("mnuFile")->actions()[0]->trigger();
        QCOMPARE(prompts.size(), 2);  // "Create the file?", then the error
        QCOMPARE(prompts[1].kind, Prompt::Kind::Error);
        QVERIFY2(prompts[1].text.startsWith("Path not found: Save Image, writing \"") &&
                     prompts[1].text.contains("missing/chart.bmp") &&
                     prompts[1].text.endsWith("(No such file or directory)"),
                 qPrintable(prompts[1].text));

        // A disk that fills up part way (here a file-size limit): the old picture stays whole.
        const QString old = writeFile(*tmp, "old.bmp", "the old picture");
        dialogAnswers << choose(old, 1);
        answers << true;  // replace it
        {
            const FileSizeLimit fullAfter(1000);
            get<QMenu>("mnuFile")->actions()[0]->trigger();
        }
        QCOMPARE(prompts.size(), 4);
        QVERIFY2(prompts[3].text.startsWith("Device I/O error: Save Image") &&
                     prompts[3].text.contains("File too large"),
                 qPrintable(prompts[3].text));
        QFile f(old);
        f.open(QIODevice::ReadOnly);
        QCOMPARE(f.readAll(), QByteArray("the old picture"));
        QCOMPARE(QDir(tmp->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.bmp"});
        QVERIFY(w->isVisible());
    }

    void saveCancelledWritesNothing() {
        get<QMenu>("mnuFile")->actions()[0]->trigger();
        QCOMPARE(dialogSeen.size(), 1);
        QVERIFY(QDir(tmp->path()).entryList(QDir::Files).isEmpty());
        QVERIFY(w->CommonDialog1.FileName.isEmpty());
        QVERIFY(prompts.isEmpty());
    }

    void saveDuringARunWritesTheChartAsItStands() {
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        const QString path = tmp->filePath("mid.bmp");
        dialogAnswers << choose(p, 2);
        answers << true;
        int16_t columnAtSave = -1;
        soon(100, [&] {
            dialogAnswers << choose(path, 1);
            duringDialog = [&] { columnAtSave = PlotColumn; };
            get<QMenu>("mnuFile")->actions()[0]->trigger();
            duringDialog = nullptr;
            QCOMPARE(PlotColumn, columnAtSave);  // the run waited for the dialog
            get<QPushButton>("btnStop")->click();
        });
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QVERIFY(columnAtSave > 0);
        const QImage img = QImage(path, "BMP").convertToFormat(QImage::Format_RGB32);
        const QImage& pic = get<PictureBox>("picMain")->Image();
        const int drawn = std::min<int>(columnAtSave, 700);
        QCOMPARE(img.copy(0, 0, drawn, 250), pic.copy(0, 0, drawn, 250));
    }

    void repaintsFromTheImage() {
        const QString p = writeFile(*tmp, "two.p", TwoSpeciesP);
        get<QRadioButton>("opt3")->setChecked(true);
        dialogAnswers << choose(p, 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        auto* pic = get<PictureBox>("picMain");
        pic->repaint();
        const QImage shown = pic->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.copy(2, 2, 700, 250), pic->Image());
        QVERIFY(shown.pixel(0, 0) != qRgb(255, 255, 255));  // the sunken border
    }

    // ---- names that are no regular files ----

    void dialogRefusesWhatIsNoRegularFile() {
        const QString fifo = tmp->filePath("pipe.p");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        // Whoever waits at the pipe, a reader for a writer or a writer for a reader, is let
        // through and noted, so that a missing refusal fails here instead of hanging.
        std::signal(SIGPIPE, SIG_IGN);
        std::atomic<bool> somebodyWaited{false};
        std::jthread unblock([&](std::stop_token stop) {
            const QByteArray name = QFile::encodeName(fifo);
            char buf[65536];
            while (!stop.stop_requested()) {
                if (const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                    somebodyWaited = true;
                    ::close(fd);
                }
                if (const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK); fd >= 0) {
                    if (::read(fd, buf, sizeof buf) > 0) somebodyWaited = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        Nanimals = 5;
        const std::pair<QString, QString> refused[] = {
            {fifo, "is a named pipe (FIFO), not a regular file"},
            {tmp->path(), "is a folder, not a regular file"},
            {QStringLiteral("/dev/null"), "is a character device, not a regular file"},
        };
        for (const auto& [path, what] : refused) {
            prompts.clear();
            dialogSeen.clear();
            dialogAnswers << choose(path, 2);  // then the dialog shows again and is cancelled
            QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
            QCOMPARE(dialogSeen.size(), 2);
            QCOMPARE(prompts.size(), 1);
            QCOMPARE(prompts[0].kind, Prompt::Kind::Error);
            QCOMPARE(prompts[0].text, QChar('"') + path + QChar('"') + QChar(' ') + what +
                                          QStringLiteral(": choose a regular file."));
            QCOMPARE(Nanimals, int16_t(5));
            QVERIFY(idle());
        }
        // Save Image neither asks to replace the pipe nor writes into it.
        prompts.clear();
        dialogAnswers << choose(fifo, 1);
        answers << true << true;
        get<QMenu>("mnuFile")->actions()[0]->trigger();
        QCOMPARE(prompts.size(), 1);
        QVERIFY2(prompts[0].text.contains("named pipe"), qPrintable(prompts[0].text));
        QVERIFY(w->CommonDialog1.FileName.isEmpty());
        // A name with control characters is shown escaped.
        prompts.clear();
        const QString odd = tmp->filePath(QStringLiteral("odd\x1b[2J"));
        QVERIFY(QDir().mkdir(odd));
        dialogAnswers << choose(odd, 2);
        QTest::mouseClick(get<QPushButton>("btnLoadP"), Qt::LeftButton);
        QCOMPARE(prompts.size(), 1);
        QVERIFY2(prompts[0].text.contains("odd\\x1B[2J\" is a folder"),
                 qPrintable(prompts[0].text));
        unblock.request_stop();
        unblock.join();
        QVERIFY(!somebodyWaited);
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
