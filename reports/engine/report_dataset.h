// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the engine reads from a dataset. Access is random so that pages can be laid out one at a
// time, in any order the preview asks for them, without walking a cursor.
class ReportDataSet
{
public:
    virtual ~ReportDataSet() = default;

    virtual int recordCount() const = 0;
    // -1 when the dataset has no field of that name.
    virtual int fieldIndex(const QString &name) const = 0;
    virtual QString text(int record, int field) const = 0;

    // A dataset may still be reading its records: recordCount() is then what has arrived so
    // far, and readMore() reads on for a short while. A failure to read is thrown from
    // readMore(); the dataset is then never complete.
    virtual bool complete() const { return true; }
    virtual void readMore() const {}
};
