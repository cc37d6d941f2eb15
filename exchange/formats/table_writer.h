// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/formats/row_source.h"

#include <optional>

namespace Exchange {

enum class Format { Csv, Xlsx, Ods, Html };

// The format a file name asks for by its extension, in any letter case.
std::optional<Format> formatOf(const QString &path);

struct WriteOptions
{
    // The title of the HTML page and the name of the spreadsheet's sheet.
    QString title = QStringLiteral("Catálogo");
    // Between CSV fields: ';' for the decimal comma of pt_BR spreadsheets, or ','.
    char separator = ';';
    Progress progress;
};

// Writes the header row and every row of the source into path, in the format its extension
// names. The file is written beside the target under another name and put in place only when
// complete, so a failure or a stop leaves what was there before. Returns false when progress
// stopped it; failures throw ExchangeError.
bool writeTable(RowSource &source, const QString &path, const WriteOptions &options = {});
bool writeTable(RowSource &source, const QString &path, Format format,
                const WriteOptions &options = {});

// The file dialog filters of the four formats, and the format a chosen filter names.
QStringList formatFilters();
std::optional<Format> formatOfFilter(const QString &filter);
QString extensionOf(Format format);

} // namespace Exchange
