// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/new_account_window.h"

#include "core/exceptions.h"
#include "shell/error_handler.h"

#include "ui_new_account_window.h"

#include <QPushButton>

NewAccountWindow::NewAccountWindow(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::NewAccountWindow>())
{
    m_ui->setupUi(this);
    setFixedSize(size());
    m_ui->EditName->setAccessibleName(QStringLiteral("Conta"));
    m_ui->GroupKind->setAccessibleName(QStringLiteral("Tipo"));
    m_ui->RadioConsult->setAccessibleName(QStringLiteral("Consulta"));
    m_ui->RadioConsult->setAccessibleDescription(
        QStringLiteral("A conta pode pesquisar e ver os relatórios, sem alterar o catálogo"));
    m_ui->RadioEdit->setAccessibleName(QStringLiteral("Edição"));
    m_ui->RadioEdit->setAccessibleDescription(
        QStringLiteral("A conta também cadastra, altera e apaga"));
    m_ui->RadioConsult->setToolTip(m_ui->RadioConsult->accessibleDescription());
    m_ui->RadioEdit->setToolTip(m_ui->RadioEdit->accessibleDescription());
    m_ui->EditPassword->setAccessibleName(QStringLiteral("Senha"));
    m_ui->EditAgain->setAccessibleName(QStringLiteral("Repita a senha"));
    m_ui->EditName->setFocus();
    connect(m_ui->ButtonCreate, &QPushButton::clicked, this,
            guarded([this] { ButtonCreateClick(); }));
    connect(m_ui->ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

NewAccountWindow::~NewAccountWindow()
{
    m_ui->EditPassword->clear();
    m_ui->EditAgain->clear();
}

QString NewAccountWindow::accountName() const
{
    return m_ui->EditName->text().trimmed();
}

bool NewAccountWindow::mayEdit() const
{
    return m_ui->RadioEdit->isChecked();
}

QByteArray NewAccountWindow::takePassword()
{
    QByteArray password = m_ui->EditPassword->text().toUtf8();
    m_ui->EditPassword->clear();
    m_ui->EditAgain->clear();
    return password;
}

void NewAccountWindow::ButtonCreateClick()
{
    if (accountName().isEmpty()) {
        m_ui->EditName->setFocus();
        throw Exception(QStringLiteral("Informe o nome da conta"));
    }
    const bool same = m_ui->EditPassword->text() == m_ui->EditAgain->text();
    const bool empty = m_ui->EditPassword->text().isEmpty();
    if (!same || empty) {
        m_ui->EditPassword->clear();
        m_ui->EditAgain->clear();
        m_ui->EditPassword->setFocus();
        throw Exception(empty ? QStringLiteral("A senha não pode ser vazia")
                              : QStringLiteral("As senhas não conferem; digite a senha de novo"));
    }
    accept();
}
