// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/message_window.h"

#include "shell/form_layout.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

MessageWindow::MessageWindow(const QString &text, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QApplication::applicationDisplayName());
    setModal(true);

    auto *label = new QLabel(text, this);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int halfScreen = screen ? screen->availableGeometry().width() / 2 : 640;
    label->setMaximumWidth(halfScreen);
    label->setMinimumWidth(qMin(halfScreen, label->fontMetrics().horizontalAdvance(text)));

    // Enter presses the default button and Esc rejects the dialog: both close it.
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    ok->setMinimumWidth(75);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(14);
    layout->addWidget(label);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ok->setFocus();
}

void MessageWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        centreOnDesktop(this);
}
