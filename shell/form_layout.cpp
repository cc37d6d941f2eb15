// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/form_layout.h"

#include <QLabel>
#include <QScreen>
#include <QWidget>

namespace {

int designPixels(qreal points)
{
    return qRound(points * 96.0 / 72.0);
}

void applyDesignFont(QWidget *widget)
{
    // A grid's title font is a font of its own, given in points like the widget's.
    const QVariant title = widget->property("titleFont");
    if (title.typeId() == QMetaType::QFont) {
        QFont font = title.value<QFont>();
        if (font.pointSizeF() > 0) {
            font.setPixelSize(designPixels(font.pointSizeF()));
            widget->setProperty("titleFont", font);
        }
    }
    QFont font = widget->font();
    const QVariant pixels = widget->property("pixelSize");
    if (pixels.isValid())
        font.setPixelSize(pixels.toInt());
    else if (font.pointSizeF() > 0)
        font.setPixelSize(designPixels(font.pointSizeF()));
    else
        return;
    widget->setFont(font);
}

} // namespace

void finishFormLayout(QWidget *root)
{
    // Parents first (findChildren lists a parent before its children), so that a child
    // without a font of its own inherits its parent's pixel height.
    applyDesignFont(root);
    const QList<QWidget *> children = root->findChildren<QWidget *>();
    for (QWidget *child : children)
        applyDesignFont(child);

    const QList<QLabel *> labels = root->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->pixmap().isNull() && !label->wordWrap())
            label->resize(label->sizeHint().width(), label->height());
    }
}

void setFixedFrame(QWidget *window)
{
    // A dialog stays a dialog to the window manager.
    const Qt::WindowFlags type = window->windowType() == Qt::Dialog ? Qt::Dialog : Qt::Window;
    window->setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(window->size());
}

void centreOnDesktop(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}
