// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class TDm1;

class TForm2 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm2(TDm1 &dm, QWidget *parent = nullptr);

private:
    TDm1 &m_dm;
};
