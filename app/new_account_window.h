// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class NewAccountWindow;
}

// "Nova conta": the name of an account of the catalogue, whether it only consults or also
// edits, and its password typed twice. The window only gathers them; the server makes the
// account. The password stays in the window only until it is taken.
class NewAccountWindow : public QDialog
{
    Q_OBJECT

public:
    explicit NewAccountWindow(QWidget *owner = nullptr);
    ~NewAccountWindow() override;

    QString accountName() const;
    bool mayEdit() const;
    // The password typed, taken out of the window.
    QByteArray takePassword();

    // "Criar": a name, and the same password twice; otherwise the window says what is missing
    // and stays open, the password boxes emptied.
    void ButtonCreateClick();

private:
    std::unique_ptr<Ui::NewAccountWindow> m_ui;
};
