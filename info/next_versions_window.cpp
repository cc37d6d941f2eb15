// SPDX-License-Identifier: GPL-3.0-or-later
#include "info/next_versions_window.h"

#include "shell/error_handler.h"
#include "shell/form_layout.h"

#include "ui_next_versions_window.h"

#include <QKeyEvent>
#include <QShowEvent>

TForm5::TForm5(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_ui(std::make_unique<Ui::TForm5>())
{
    setObjectName(QStringLiteral("Form5"));
    m_ui->setupUi(this);
    finishFormLayout(this);
    setFixedSize(312, 206);

    connect(m_ui->Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
}

TForm5::~TForm5() = default;

void TForm5::Button1Click()
{
    close();
}

void TForm5::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    centreOnDesktop(this);
    m_ui->Button1->setFocus();
}

// No button is the cancel button: Esc does not close the window.
void TForm5::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    QDialog::keyPressEvent(event);
}
