// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class AccountsWindow;
}
class TADOConnection;

// "Senha e usuários": on a server, the account in use and a change of its own password (the
// server decides what the account may do), and for an account the server lets manage the
// others, the catalogue's accounts, to add and remove; on a file, how such a catalogue is
// protected and how to move it to a server, since a file has no password of its own.
class AccountsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit AccountsWindow(TADOConnection &connection, QWidget *owner = nullptr);
    ~AccountsWindow() override;

    // "Trocar a senha": both boxes must agree; they are emptied whatever happens.
    void ButtonChangeClick();
    // "Adicionar...": asks for the new account in its own window, then the server makes it.
    void ButtonAddClick();
    // "Remover": the account chosen in the list, once the user confirms.
    void ButtonRemoveClick();

private:
    void fillAccounts(const QString &current = {});

    std::unique_ptr<Ui::AccountsWindow> m_ui;
    TADOConnection &m_connection;
};
