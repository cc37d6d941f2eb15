// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TForm6;
}

// The About window: product name, the version read from config.cfg in the current directory
// at each showing, the rights notice. Created for one modal showing.
class TForm6 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm6(QWidget *owner = nullptr);
    ~TForm6() override;

    void FormShow();
    void Button1Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::unique_ptr<Ui::TForm6> m_ui;
};
