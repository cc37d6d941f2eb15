// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

// A one-line notice: caption the application title, no icon, one "OK" that is both the
// default and the cancel button, the text wrapped at half the screen's width.
class MessageWindow : public QDialog
{
    Q_OBJECT

public:
    explicit MessageWindow(const QString &text, QWidget *parent = nullptr);

protected:
    // Centred on the screen, not over the window that asked.
    void showEvent(QShowEvent *event) override;
};
