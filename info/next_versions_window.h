// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TForm5;
}

// The fixed list of features planned for later versions. Its title bar has no buttons, so
// "&Voltar" is the way out. Created for one modal showing.
class TForm5 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm5(QWidget *owner = nullptr);
    ~TForm5() override;

    void Button1Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::unique_ptr<Ui::TForm5> m_ui;
};
