// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

// The application object: title, fonts, Qt's own texts in Portuguese, the keyboard and
// screen-reader habits every window shares, and the guard around the message loop, so that a
// failure escaping any event handler reaches the general error handler.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};

// Maps the design's Windows font families onto metric-compatible free fonts.
void installFontSubstitutions();

// Loads Qt's own Brazilian Portuguese texts (context menus, standard buttons, file and print
// dialogs); false when the translation files are missing.
bool installQtTranslations(QCoreApplication &app);

// Enter on a focused push button clicks it, in every window, as on Windows.
void installEnterClicksButtons(QCoreApplication &app);

// Announces every top-level window of the program's own to screen readers as a window or a
// dialog (Qt would expose a plain widget as a filler).
void installWindowAccessibility();
