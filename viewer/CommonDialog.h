#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// The one open/save dialog of the window, shared by Load and Save Image. Like the platform
// component it stands for, it keeps every setting between uses: the filter list, the chosen
// filter index, the initial directory, the flags and the file name. A cancelled dialog leaves
// an empty file name.
class CommonDialog {
  public:
    enum class Mode { Open, Save };

    // Flag values of the platform's common dialog that this one honours.
    static constexpr int OverwritePrompt = 0x2;  // ask before an existing file is replaced
    static constexpr int CreatePrompt = 0x2000;  // ask before a missing file is created

    // What the user did in the dialog.
    struct Answer {
        bool accepted = false;
        QString path;     // full path of the chosen file
        int filterIndex;  // 1-based position of the file type chosen when it closed
    };
    // Plays the user's part instead of showing Qt's dialog (tests, scripted use). It sees the
    // dialog's settings as they are when it opens.
    using Hook = std::function<Answer(const CommonDialog&, Mode)>;
    static void Set_Hook(Hook hook);

    // "Description|pattern|Description|pattern..." as the platform writes it.
    QString Filter;
    int FilterIndex = 0;  // 0 or out of range: the first file type
    QString InitDir;      // empty: the current directory
    int Flags = 0;
    QString FileName;

    // Modal; on return FileName holds the chosen path or is empty after a cancel. A name that
    // stands for no regular file (a folder, a named pipe, a device) is refused with a message
    // saying what it is, and the dialog shows again.
    void ShowOpen(QWidget* parent);
    void ShowSave(QWidget* parent);

    // The filter list as Qt name filters: "Bitmap (*.bmp)|*.bmp" -> {"Bitmap (*.bmp)"}.
    // Each pair becomes "Description (pattern)" unless the description already names it.
    QStringList NameFilters() const;
    // The index, 1-based, clamped into the list.
    int EffectiveFilterIndex() const;

  private:
    void show(QWidget* parent, Mode mode);
    Answer ask(QWidget* parent, Mode mode);

    // Qt's dialog's own state (history, sidebar, view), kept from one use to the next in
    // memory only, never in the user's configuration.
    QByteArray viewState_;
    QStringList history_;
};
