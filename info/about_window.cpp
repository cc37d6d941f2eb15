// SPDX-License-Identifier: GPL-3.0-or-later
#include "info/about_window.h"

#include "info/config_file.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"

#include "ui_about_window.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QShowEvent>

#include <limits>

TForm6::TForm6(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::TForm6>())
{
    setObjectName(QStringLiteral("Form6"));
    m_ui->setupUi(this);
    finishFormLayout(this);
    setFixedSize(392, 266);

    // The window and the version box share the menu bar's colour.
    const QColor menuBar = QApplication::palette("QMenuBar").color(QPalette::Window);
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, menuBar);
    setPalette(windowPalette);
    QPalette editPalette = m_ui->Edit1->palette();
    editPalette.setColor(QPalette::Base, menuBar);
    m_ui->Edit1->setPalette(editPalette);

    connect(m_ui->Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
}

TForm6::~TForm6() = default;

void TForm6::FormShow()
{
    // The line goes into the box whole, however long.
    m_ui->Edit1->setMaxLength(std::numeric_limits<int>::max());
    // The separator is added even when the directory already ends in one.
    m_ui->Edit1->setText(readFirstLine(QDir::currentPath() + QStringLiteral("/config.cfg")));
}

void TForm6::Button1Click()
{
    close();
}

void TForm6::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    centreOnDesktop(this);
    m_ui->Button1->setFocus();
    guarded([this] { FormShow(); })();
}

// No button is the cancel button: Esc does not close the window.
void TForm6::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    QDialog::keyPressEvent(event);
}
