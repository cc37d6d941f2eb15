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
    // Runs while a box is up, as another program would: the box is modal, not the world.
    std::function<void(const Box &)> whileShown;
};
