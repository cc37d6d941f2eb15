// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

// The application object: title, fonts, and the guard around the message loop, so that a
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
