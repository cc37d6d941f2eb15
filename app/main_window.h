// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class TDm1;
class TForm2;
class TForm3;

// The main window. Created before the data module exists; bound to it before it is shown.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    void bindDataModule(TDm1 &dm);
    void setRegistrationWindows(TForm2 *form2, TForm3 *form3);

    void FormShow();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    TDm1 *m_dm = nullptr;
    TForm2 *m_form2 = nullptr;
    TForm3 *m_form3 = nullptr;
};
