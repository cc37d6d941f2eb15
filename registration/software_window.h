// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "registration/record_window.h"

#include <memory>

namespace Ui {
class TForm3;
}

// The software registration window: browses, adds, saves and deletes the titles of
// DataSource2, each assigned to a medium chosen from the media of DataSource1 and to a kind
// chosen from those of DataSource7.
class TForm3 : public RecordWindow
{
    Q_OBJECT

public:
    explicit TForm3(TDm1 &dm, QWidget *parent = nullptr);
    ~TForm3() override;

private:
    void BitBtn4Click() override;

    std::unique_ptr<Ui::TForm3> m_ui;
};
