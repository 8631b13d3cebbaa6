#include "Prompts.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace {
PromptHook& hook() {
    static PromptHook h;
    return h;
}

bool nobodyToAsk() {
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

bool answer(QWidget* parent, const Prompt& p) {
    if (hook()) return hook()(p);
    if (nobodyToAsk()) {
        std::fprintf(stderr, "%s: %s\n", p.kind == Prompt::Kind::Error ? "error" : "question",
                     qPrintable(p.text));
        return false;
    }
    if (p.kind == Prompt::Kind::Error) {
        QMessageBox::critical(parent, p.title, p.text);
        return false;
    }
    return QMessageBox::question(parent, p.title, p.text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}
}  // namespace

void Set_Prompt_Hook(PromptHook h) {
    hook() = std::move(h);
}

void Show_Error(QWidget* parent, const QString& text) {
    answer(parent, {Prompt::Kind::Error, App_Caption, text});
}

bool Ask_Yes_No(QWidget* parent, const QString& text) {
    return answer(parent, {Prompt::Kind::Question, App_Caption, text});
}
