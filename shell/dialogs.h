// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The one seam through which every message box and the message window are shown, so tests
// can read what would be shown and answer it.
class Dialogs
{
public:
    enum class Icon { None, Question, Warning, Critical };
    enum Button { Ok = 0x1, Yes = 0x2, No = 0x4 };

    virtual ~Dialogs();

    // The message window: the text in a modal window captioned with the application title,
    // no icon, one "OK" that Enter and Esc also press.
    virtual void showMessage(const QString &text) = 0;

    // A modal box owned by the active window; returns the button pressed.
    virtual Button messageBox(const QString &text, const QString &caption, int buttons, Icon icon,
                              Button defaultButton) = 0;

    // A modal question whose answers are the program's own captions (with their Alt keys);
    // returns the index of the button pressed, `escapeIndex` when the box was closed without
    // one. Enter presses `defaultIndex`.
    virtual int choose(const QString &text, const QString &caption, const QStringList &buttons,
                       int defaultIndex, int escapeIndex) = 0;

    // A notice that the program is waiting, shown without blocking until called again with
    // an empty text.
    virtual void showWaitNotice(const QString &text) = 0;

    static Dialogs &current();
    // Replaces the seam (tests); null restores the real one.
    static void install(Dialogs *dialogs);
};

// Shows, through the seam and with the busy cursor, that a statement waits for another
// program's write on the catalogue, and keeps the windows painting meanwhile.
void installCatalogueWaitFeedback();

// Convenience wrappers for the program's two kinds of question.
inline Dialogs::Button askYesNo(const QString &text, const QString &caption)
{
    return Dialogs::current().messageBox(text, caption, Dialogs::Yes | Dialogs::No,
                                         Dialogs::Icon::Question, Dialogs::No);
}

inline void showRefusal(const QString &text, const QString &caption)
{
    Dialogs::current().messageBox(text, caption, Dialogs::Ok, Dialogs::Icon::Warning, Dialogs::Ok);
}
