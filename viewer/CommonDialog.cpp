#include "CommonDialog.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSettings>
#include <cstdio>

#include "LvError.h"
#include "Prompts.h"

namespace {
CommonDialog::Hook& hook() {
    static CommonDialog::Hook h;
    return h;
}
// Qt's dialog writes its history, sidebar and view into the user's configuration
// (QtProject.conf) when it closes, but the program keeps no settings between runs: the
// configuration of this process is pointed where no file can be made.
void keepSettingsOutOfTheUsersHome() {
    static const bool done = [] {
        const QString nowhere = QStringLiteral("/dev/null");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
        return true;
    }();
    (void)done;
}

// What a chosen name stands for when that is no regular file, or empty for a regular file (or
// a link to one) and for a name with nothing behind it yet.
QString notARegularFile(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode)) return {};
    if (S_ISDIR(st.st_mode)) return QStringLiteral("a folder");
    if (S_ISFIFO(st.st_mode)) return QStringLiteral("a named pipe (FIFO)");
    if (S_ISCHR(st.st_mode)) return QStringLiteral("a character device");
    if (S_ISBLK(st.st_mode)) return QStringLiteral("a block device");
    if (S_ISSOCK(st.st_mode)) return QStringLiteral("a socket");
    return QStringLiteral("something other than a file");
}

}  // namespace

void CommonDialog::Set_Hook(Hook h) {
    hook() = std::move(h);
}

QStringList CommonDialog::NameFilters() const {
    const QStringList parts = Filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the parentheses at the end of each name filter.
        if (desc.endsWith(QLatin1Char(')')) && desc.contains(QLatin1Char('(')) &&
            desc.mid(desc.lastIndexOf(QLatin1Char('(')) + 1).chopped(1).trimmed() == patterns)
            out << desc;
        else
            out << desc + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out;
}

int CommonDialog::EffectiveFilterIndex() const {
    const int n = int(NameFilters().size());
    if (n == 0) return 0;
    return FilterIndex >= 1 && FilterIndex <= n ? FilterIndex : 1;
}

void CommonDialog::ShowOpen(QWidget* parent) {
    show(parent, Mode::Open);
}
void CommonDialog::ShowSave(QWidget* parent) {
    show(parent, Mode::Save);
}

CommonDialog::Answer CommonDialog::ask(QWidget* parent, Mode mode) {
    if (hook()) return hook()(*this, mode);
    Answer a;
    a.filterIndex = FilterIndex;
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "file dialog: nobody to answer it on this platform; cancelled\n");
        return a;
    }
    keepSettingsOutOfTheUsersHome();
    QFileDialog dlg(parent);
    if (!viewState_.isEmpty()) dlg.restoreState(viewState_);  // before the folder: it has one
    dlg.setHistory(history_);
    // Qt's own dialog, so that it looks and behaves the same on every desktop (and under Xvfb);
    // the prompts are ours, driven by Flags.
    dlg.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    dlg.setAcceptMode(mode == Mode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dlg.setFileMode(mode == Mode::Open && !(Flags & CreatePrompt) ? QFileDialog::ExistingFile
                                                                  : QFileDialog::AnyFile);
    const QStringList filters = NameFilters();
    dlg.setNameFilters(filters);
    if (const int idx = EffectiveFilterIndex(); idx > 0) dlg.selectNameFilter(filters[idx - 1]);
    dlg.setDirectory(InitDir.isEmpty() ? QDir::currentPath() : InitDir);
    if (!FileName.isEmpty()) dlg.selectFile(FileName);
    const int result = dlg.exec();
    viewState_ = dlg.saveState();
    history_ = dlg.history();
    if (result != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return a;
    a.accepted = true;
    a.path = dlg.selectedFiles().constFirst();
    const int chosen = int(filters.indexOf(dlg.selectedNameFilter()));
    a.filterIndex = chosen >= 0 ? chosen + 1 : FilterIndex;
    return a;
}

void CommonDialog::show(QWidget* parent, Mode mode) {
    for (;;) {
        const Answer a = ask(parent, mode);
        if (!a.accepted || a.path.isEmpty()) {
            FileName.clear();
            return;
        }
        FilterIndex = a.filterIndex;
        // Reading or writing a named pipe waits for the other end, for ever if there is none,
        // and the window with it; a device or a folder is no picture or parameter file either.
        if (const QString kind = notARegularFile(a.path); !kind.isEmpty()) {
            const std::string name = QFile::encodeName(a.path).toStdString();
            Show_Error(parent, QString::fromStdString(Quote_For_Message(name, 200)) +
                                   QStringLiteral(" is ") + kind +
                                   QStringLiteral(", not a regular file: choose a regular file."));
            continue;
        }
        const QFileInfo info(a.path);
        const QString shown = QDir::toNativeSeparators(a.path);
        // Answering "No" to a prompt goes back to the dialog, as the platform's dialog does.
        if (info.exists() && mode == Mode::Save && (Flags & OverwritePrompt) &&
            !Ask_Yes_No(parent,
                        shown + QStringLiteral(" already exists.\nDo you want to replace it?")))
            continue;
        if (!info.exists() && (Flags & CreatePrompt) &&
            !Ask_Yes_No(parent,
                        shown + QStringLiteral("\nThis file does not exist.\nCreate the file?")))
            continue;
        FileName = a.path;
        return;
    }
}
