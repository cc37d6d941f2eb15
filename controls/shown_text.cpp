// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/shown_text.h"

#include "data/query.h"

std::string_view ShownText::prefix(std::string_view utf8)
{
    if (utf8.size() <= maxBytes)
        return utf8;
    std::size_t end = maxBytes;
    // Back over continuation bytes to the start of the character that would be cut.
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
        --end;
    return utf8.substr(0, end);
}

QString ShownText::of(TADOQuery &dataSet, int record, int fieldIndex)
{
    RecordStore::Scratch scratch;
    std::string_view text;
    if (!dataSet.utf8At(record, fieldIndex, scratch, text))
        return dataSet.textAt(record, fieldIndex);
    if (text.size() <= maxBytes)
        return dataSet.textAt(record, fieldIndex);
    const std::string_view start = prefix(text);
    return QString::fromUtf8(start.data(), qsizetype(start.size()));
}
