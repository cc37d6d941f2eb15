// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

class TADOQuery;

// A registration window's record as the program is about to end: the window's caption and
// the dataset it edits.
struct PendingRecord
{
    QString window;
    TADOQuery *dataSet = nullptr;
};

// Before the program ends, a record still in editing or inserting is the user's typing: asks
// once, naming the windows, whether to save it, drop it or go back. Returns true when the
// program may end: nothing was pending, the records were saved, or the user chose to drop
// them. A save that fails shows the usual message and returns false. Without `mayAsk` (a
// session that ends with no room for questions) the records are saved as far as they can be.
bool settlePendingRecords(const QList<PendingRecord> &records, bool mayAsk = true);
