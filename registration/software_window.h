// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <memory>

class TDm1;

namespace Ui {
class TForm3;
}

// The software registration window: browses, adds, saves and deletes the titles of
// DataSource2, each assigned to a medium chosen from the media of DataSource1 and to a kind
// chosen from those of DataSource7. Closing it only hides it; a pending change stays pending.
class TForm3 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm3(TDm1 &dm, QWidget *parent = nullptr);
    ~TForm3() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();

    TDm1 &m_dm;
    std::unique_ptr<Ui::TForm3> m_ui;
    bool m_shownBefore = false;
};
