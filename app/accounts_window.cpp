// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/accounts_window.h"

#include "app/new_account_window.h"
#include "catalogue/server_accounts.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"

#include "ui_accounts_window.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

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
    }
    // The server says whether this account may manage the others; one that may not never
    // sees the controls.
    bool manages = false;
    if (!account.isEmpty()) {
        try {
            connection.completePendingReads();
            manages = ServerAccounts::mayManage(connection.backend());
        } catch (const Exception &) {
            manages = false;
        }
        m_ui->LabelInfo->setText(
            QStringLiteral("Conta em uso: %1\nServidor: %2\n\n"
                           "O que a conta pode fazer no catálogo é decidido pelo servidor. %3")
                .arg(account, connection.path(),
                     manages ? QStringLiteral("Esta conta pode criar e remover as contas do "
                                              "catálogo, abaixo.")
                             : QStringLiteral("As contas são criadas e removidas com "
                                              "quivel-catalogue usuario.")));
    }
    m_ui->LabelInfo->setAccessibleName(m_ui->LabelInfo->text());
    m_ui->ListAccounts->setAccessibleName(QStringLiteral("Contas do catálogo"));
    m_ui->ListAccounts->header()->resizeSection(0, 260);
    if (manages) {
        fillAccounts();
    } else {
        // Without the list the window ends below the password.
        m_ui->GroupAccounts->hide();
        const int up = m_ui->ButtonClose->y() - m_ui->GroupAccounts->y();
        m_ui->ButtonClose->move(m_ui->ButtonClose->x(), m_ui->GroupAccounts->y());
        setFixedSize(width(), height() - up);
    }
    connect(m_ui->ButtonChange, &QPushButton::clicked, this,
            guarded([this] { ButtonChangeClick(); }));
    connect(m_ui->ButtonAdd, &QPushButton::clicked, this, guarded([this] { ButtonAddClick(); }));
    connect(m_ui->ButtonRemove, &QPushButton::clicked, this,
            guarded([this] { ButtonRemoveClick(); }));
    connect(m_ui->ButtonClose, &QPushButton::clicked, this, &QDialog::accept);
}

void AccountsWindow::fillAccounts(const QString &current)
{
    m_ui->ListAccounts->clear();
    m_connection.completePendingReads();
    const QList<ServerAccounts::Account> accounts = ServerAccounts::list(m_connection.backend());
    for (const ServerAccounts::Account &a : accounts) {
        auto *item =
            new QTreeWidgetItem(m_ui->ListAccounts, {a.name, a.right == ServerAccounts::Right::Edit
                                                                 ? QStringLiteral("edição")
                                                                 : QStringLiteral("consulta")});
        if (a.name == current)
            m_ui->ListAccounts->setCurrentItem(item);
    }
    if (!m_ui->ListAccounts->currentItem() && m_ui->ListAccounts->topLevelItemCount() > 0)
        m_ui->ListAccounts->setCurrentItem(m_ui->ListAccounts->topLevelItem(0));
}

void AccountsWindow::ButtonAddClick()
{
    m_ui->LabelAccountsStatus->clear();
    NewAccountWindow window(this);
    if (window.exec() != QDialog::Accepted)
        return;
    const QString name = window.accountName();
    const ServerAccounts::Right right =
        window.mayEdit() ? ServerAccounts::Right::Edit : ServerAccounts::Right::Consult;
    QByteArray password = window.takePassword();
    try {
        m_connection.completePendingReads();
        ServerAccounts::create(m_connection.backend(), name, right, password);
    } catch (...) {
        password.fill('\0');
        throw;
    }
    password.fill('\0');
    fillAccounts(name);
    m_ui->LabelAccountsStatus->setText(QStringLiteral("A conta %1 foi criada.").arg(name));
    m_ui->ListAccounts->setFocus();
}

void AccountsWindow::ButtonRemoveClick()
{
    m_ui->LabelAccountsStatus->clear();
    const QTreeWidgetItem *item = m_ui->ListAccounts->currentItem();
    if (!item) {
        showRefusal(QStringLiteral("Escolha na lista a conta a remover."),
                    QStringLiteral("Remover conta"));
        return;
    }
    const QString name = item->text(0);
    if (askYesNo(QStringLiteral("Deseja REMOVER a conta %1 do catálogo? Ela não poderá mais "
                                "entrar no catálogo.")
                     .arg(name),
                 QStringLiteral("Confirmação de remoção de conta")) != Dialogs::Yes)
        return;
    m_connection.completePendingReads();
    ServerAccounts::remove(m_connection.backend(), name);
    fillAccounts();
    m_ui->LabelAccountsStatus->setText(QStringLiteral("A conta %1 foi removida.").arg(name));
    m_ui->ListAccounts->setFocus();
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
