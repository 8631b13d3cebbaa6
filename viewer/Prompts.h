#pragma once

#include <QString>
#include <functional>

class QWidget;

// The window's message boxes: errors and yes/no questions. A test (or any caller that must not
// block) installs a hook that plays the user's part; without one a real modal box is shown,
// except on the offscreen platform, where nobody could answer it: there the message goes to
// stderr and a question is answered "No".
struct Prompt {
    enum class Kind { Error, Question };
    Kind kind;
    QString title;
    QString text;
};

// Returns true for "Yes" (questions only; the answer to an error box is ignored).
using PromptHook = std::function<bool(const Prompt&)>;
void Set_Prompt_Hook(PromptHook hook);

void Show_Error(QWidget* parent, const QString& text);
bool Ask_Yes_No(QWidget* parent, const QString& text);

// The window's caption, also the title of its message boxes.
inline const QString App_Caption = QStringLiteral("Lotka-Volterra Model Viewer");
