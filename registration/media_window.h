// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <memory>

class TDm1;

namespace Ui {
class TForm2;
}

// The media registration window: browses, adds, saves and deletes the media of DataSource1.
// Closing it only hides it; a pending change stays pending.
class TForm2 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm2(TDm1 &dm, QWidget *parent = nullptr);
    ~TForm2() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();

    TDm1 &m_dm;
    std::unique_ptr<Ui::TForm2> m_ui;
    bool m_shownBefore = false;
};
