// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

class QFont;
class TADOQuery;

namespace ColumnFit {

struct Options
{
    // Two cores share the records of a large result.
    int threads = 2;
    // Texts already measured in a column cannot widen it again.
    bool skipRepeats = true;
    // A text whose length times the font's widest character fits the column's current
    // width cannot widen it.
    bool skipNarrow = true;
};

// Widens each entry of widths to the pixel width, in font, of the text of the field at the
// same position in every record from firstRecord to the last. The result equals measuring
// every text with QFontMetrics::horizontalAdvance; the options only avoid measurements
// that cannot change it. Reads the dataset by position without moving it.
void widenToTexts(const TADOQuery &dataSet, int firstRecord, const QFont &font,
                  std::vector<int> &widths, const Options &options = {});

} // namespace ColumnFit
