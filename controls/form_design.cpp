// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/form_design.h"

#include <QLabel>
#include <QScreen>
#include <QWidget>

void applyDesignFonts(QWidget *form)
{
    // Parents come before their children, so an inherited size is already in pixels.
    QList<QWidget *> widgets{form};
    widgets += form->findChildren<QWidget *>();
    for (QWidget *w : std::as_const(widgets)) {
        QFont f = w->font();
        if (f.pointSizeF() <= 0)
            continue;
        f.setPixelSize(qRound(f.pointSizeF() * 96.0 / 72.0));
        w->setFont(f);
    }
}

void fitLabelsToText(QWidget *form)
{
    for (QLabel *label : form->findChildren<QLabel *>()) {
        if (label->pixmap().isNull())
            label->resize(label->sizeHint());
    }
}

void setFixedFrame(QWidget *window)
{
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(window->size());
}

void centreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}
