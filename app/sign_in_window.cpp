// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/sign_in_window.h"

#include "ui_sign_in_window.h"

#include <QPushButton>

SignInWindow::SignInWindow(const QString &server, const QString &reason, const QString &user,
                           bool offerRemember, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::SignInWindow>())
{
    m_ui->setupUi(this);
    setFixedSize(size());
    m_ui->LabelServer->setText(QStringLiteral("Servidor: %1").arg(server));
    m_ui->LabelReason->setText(reason + u'.');
    m_ui->EditAccount->setText(user);
    m_ui->EditAccount->setAccessibleName(QStringLiteral("Conta"));
    m_ui->EditPassword->setAccessibleName(QStringLiteral("Senha"));
    m_ui->CheckRemember->setAccessibleName(QStringLiteral("Lembrar a senha"));
    m_ui->CheckRemember->setAccessibleDescription(
        QStringLiteral("Guarda a senha no chaveiro da área de trabalho"));
    if (!offerRemember) {
        // Nowhere to keep it: the window is as it was without the tick.
        m_ui->CheckRemember->hide();
        // The tick's row: the tick and the space between it and the buttons.
        const int up = m_ui->CheckRemember->height() + 3;
        m_ui->ButtonEnter->move(m_ui->ButtonEnter->x(), m_ui->ButtonEnter->y() - up);
        m_ui->ButtonCancel->move(m_ui->ButtonCancel->x(), m_ui->ButtonCancel->y() - up);
        setFixedSize(width(), height() - up);
    }
    // The account is usually known: the cursor waits in the password.
    if (!user.isEmpty())
        m_ui->EditPassword->setFocus();
    connect(m_ui->ButtonEnter, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

SignInWindow::~SignInWindow()
{
    m_ui->EditPassword->clear();
}

QString SignInWindow::account() const
{
    return m_ui->EditAccount->text().trimmed();
}

QByteArray SignInWindow::takePassword()
{
    QByteArray password = m_ui->EditPassword->text().toUtf8();
    m_ui->EditPassword->clear();
    return password;
}

bool SignInWindow::remember() const
{
    // Asked once the window has closed, when nothing in it is visible any more.
    return !m_ui->CheckRemember->isHidden() && m_ui->CheckRemember->isChecked();
}

bool SignInWindow::ask(const QString &server, const QString &reason, QString &user,
                       QByteArray &password, bool offerRemember, bool *remember)
{
    SignInWindow window(server, reason, user, offerRemember);
    if (window.exec() != QDialog::Accepted)
        return false;
    user = window.account();
    password = window.takePassword();
    if (remember)
        *remember = window.remember();
    return true;
}
