// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/formats/row_source.h"

#include <QStringList>

#include <memory>

namespace Exchange {

struct SheetRow
{
    int line = 0; // the row's number as a spreadsheet shows it, the header being 1
    QStringList cells;
};

// The first sheet of an .xlsx or .ods file, or a .csv file (separated by ';', ',' or tab;
// UTF-8 with or without a byte-order mark, or code page 1252), read row by row. Numbers come
// as their text ("12", "2.5"); a row with no text at all is skipped, but counted.
class SheetReader
{
public:
    // Chooses the format by the file's extension; throws ExchangeError when it cannot read it.
    static std::unique_ptr<SheetReader> open(const QString &path);
    virtual ~SheetReader() = default;

    // The next row with any text; false at the end. Throws ExchangeError on a damaged file.
    virtual bool next(SheetRow &row) = 0;

    // For CSV, how the file was read ("separado por ';', UTF-8"); empty otherwise.
    QString details;
};

} // namespace Exchange
