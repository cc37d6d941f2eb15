// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/accounts_window.h"

#include "core/exceptions.h"
#include "data/connection.h"
#include "shell/error_handler.h"

#include "ui_accounts_window.h"

#include <QPushButton>

namespace {

QString fileText(const QString &path)
{
    return QStringLiteral(
               "Este catálogo é um arquivo neste computador:\n%1\n\n"
               "Quem pode abri-lo são as contas do sistema com acesso à pasta dele: guarde-o numa "
               "pasta só sua e proteja a sua conta com senha. Para que ninguém o leia se o "
               "computador ou o disco for levado, use a criptografia do disco (no Debian, um "
               "volume cifrado com LUKS, escolhido na instalação).\n\n"
               "Um arquivo não tem senha própria no Quivel. Para contas com senha, que só "
               "consultam ou também alteram, leve o catálogo para um servidor PostgreSQL:\n"
               "quivel-catalogue copy %1 postgresql://servidor/banco\n"
               "e crie as contas com quivel-catalogue usuario criar.")
        .arg(path);
}

} // namespace

AccountsWindow::AccountsWindow(TADOConnection &connection, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::AccountsWindow>())
    , m_connection(connection)
{
    m_ui->setupUi(this);
    setFixedSize(size());
    m_ui->EditNew->setAccessibleName(QStringLiteral("Nova senha"));
    m_ui->EditAgain->setAccessibleName(QStringLiteral("Repita a senha"));
    const QString account = connection.account();
    if (account.isEmpty()) {
        m_ui->LabelInfo->setText(fileText(connection.path()));
        const QList<QWidget *> passwordParts{m_ui->LabelNew,     m_ui->EditNew,
                                             m_ui->LabelAgain,   m_ui->EditAgain,
                                             m_ui->ButtonChange, m_ui->LabelStatus};
        for (QWidget *w : passwordParts)
            w->hide();
        m_ui->LabelInfo->resize(m_ui->LabelInfo->width(), 224);
    } else {
        m_ui->LabelInfo->setText(
            QStringLiteral("Conta em uso: %1\nServidor: %2\n\n"
                           "O que a conta pode fazer no catálogo é decidido pelo servidor. As "
                           "contas são criadas e removidas com quivel-catalogue usuario.")
                .arg(account, connection.path()));
    }
    m_ui->LabelInfo->setAccessibleName(m_ui->LabelInfo->text());
    connect(m_ui->ButtonChange, &QPushButton::clicked, this,
            guarded([this] { ButtonChangeClick(); }));
    connect(m_ui->ButtonClose, &QPushButton::clicked, this, &QDialog::accept);
}

AccountsWindow::~AccountsWindow() = default;

void AccountsWindow::ButtonChangeClick()
{
    QByteArray password = m_ui->EditNew->text().toUtf8();
    const bool same = m_ui->EditNew->text() == m_ui->EditAgain->text();
    m_ui->EditNew->clear();
    m_ui->EditAgain->clear();
    m_ui->LabelStatus->clear();
    m_ui->EditNew->setFocus();
    if (!same) {
        password.fill('\0');
        throw Exception(QStringLiteral("As senhas não conferem; a senha não foi trocada"));
    }
    if (password.isEmpty())
        throw Exception(QStringLiteral("A senha não pode ser vazia"));
    try {
        m_connection.changeOwnPassword(password);
    } catch (...) {
        password.fill('\0');
        throw;
    }
    password.fill('\0');
    m_ui->LabelStatus->setText(QStringLiteral("A senha foi trocada."));
}
