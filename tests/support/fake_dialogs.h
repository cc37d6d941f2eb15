// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/dialogs.h"

#include <QList>
#include <QStringList>

#include <functional>

// Stands in for every message box while alive: records what would be shown and answers
// from a queue (No when the queue is empty, as No is the program's default answer).
class FakeDialogs : public Dialogs
{
public:
    struct Box
    {
        QString text;
        QString caption;
        int buttons;
        Icon icon;
        Button defaultButton;
    };

    struct Choice
    {
        QString text;
        QString caption;
        QStringList buttons;
        int defaultIndex;
        int escapeIndex;
    };

    FakeDialogs() { Dialogs::install(this); }
    ~FakeDialogs() override { Dialogs::install(nullptr); }

    void showMessage(const QString &text) override { messages << text; }

    Button messageBox(const QString &text, const QString &caption, int buttons, Icon icon,
                      Button defaultButton) override
    {
        boxes << Box{text, caption, buttons, icon, defaultButton};
        if (whileShown)
            whileShown(boxes.last());
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (buttons & No) ? No : Ok;
    }

    // Recorded with its buttons' captions; answered from `choiceAnswers`, else as Esc would.
    int choose(const QString &text, const QString &caption, const QStringList &buttons,
               int defaultIndex, int escapeIndex) override
    {
        choices << Choice{text, caption, buttons, defaultIndex, escapeIndex};
        if (whileChoosing)
            whileChoosing(choices.last());
        if (!choiceAnswers.isEmpty())
            return choiceAnswers.takeFirst();
        return escapeIndex;
    }

    void showWaitNotice(const QString &text) override
    {
        waitNotices << text;
        if (whileWaiting)
            whileWaiting(text);
    }

    QStringList messages;
    QList<Box> boxes;
    QStringList waitNotices; // an empty text when the notice went away
    std::function<void(const QString &)> whileWaiting;
    QList<Button> answers;
    QList<Choice> choices;
    QList<int> choiceAnswers;
    std::function<void(const Choice &)> whileChoosing;
    // Runs while a box is up, as another program would: the box is modal, not the world.
    std::function<void(const Box &)> whileShown;
};
