// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "registration/record_window.h"

#include <memory>

namespace Ui {
class TForm2;
}

// The media registration window: browses, adds, saves and deletes the media of DataSource1.
class TForm2 : public RecordWindow
{
    Q_OBJECT

public:
    explicit TForm2(TDm1 &dm, QWidget *parent = nullptr);
    ~TForm2() override;

private:
    void BitBtn4Click() override;

    std::unique_ptr<Ui::TForm2> m_ui;
};
