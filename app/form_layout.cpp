// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form_layout.h"

#include <QLabel>
#include <QScreen>
#include <QWidget>

namespace {

void applyPixelSize(QWidget *widget)
{
    const QVariant size = widget->property("pixelSize");
    if (!size.isValid())
        return;
    QFont font = widget->font();
    font.setPixelSize(size.toInt());
    widget->setFont(font);
}

} // namespace

void finishFormLayout(QWidget *root)
{
    // Parents first (findChildren lists a parent before its children), so that a child
    // without a height of its own inherits its parent's.
    applyPixelSize(root);
    const QList<QWidget *> children = root->findChildren<QWidget *>();
    for (QWidget *child : children)
        applyPixelSize(child);

    const QList<QLabel *> labels = root->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        const int needed = label->sizeHint().width();
        if (needed > label->width())
            label->resize(needed, label->height());
    }
}

void centreOnDesktop(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect desktop = screen->virtualGeometry();
    const QSize frame = window->frameGeometry().size();
    window->move(desktop.x() + (desktop.width() - frame.width()) / 2,
                 desktop.y() + (desktop.height() - frame.height()) / 2);
}
