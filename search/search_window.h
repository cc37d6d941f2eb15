// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class TDm1;

// The search window: runs its first search while it is constructed; a failure there
// propagates to the caller and no window is left behind.
class TForm4 : public QDialog
{
    Q_OBJECT

public:
    TForm4(QWidget *owner, const QString &text, int kind, TDm1 &dm);

private:
    TDm1 &m_dm;
};
