// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/preview/report_rows.h"

#include "reports/engine/quick_rep.h"

#include <algorithm>
#include <cmath>

namespace {

// Labels and fields a little apart in height still print on one line.
constexpr double sameLineMm = 2.0;

QString captionAsTitle(QString caption)
{
    caption = caption.trimmed();
    if (caption.endsWith(u':'))
        caption.chop(1);
    return caption.trimmed();
}

// The label printed on the field's line just before it, if any.
const TQRLabel *labelBefore(const TQRBand &band, const TQRDBText &field)
{
    const TQRLabel *best = nullptr;
    for (const auto &element : band.elements()) {
        const auto *label = dynamic_cast<const TQRLabel *>(element.get());
        if (!label || std::abs(label->Top - field.Top) > sameLineMm || label->Left >= field.Left)
            continue;
        if (!best || label->Left > best->Left)
            best = label;
    }
    return best;
}

// The column header label above the field, the one whose span overlaps it most.
const TQRLabel *labelAbove(const TQRBand *band, const TQRDBText &field)
{
    if (!band)
        return nullptr;
    const TQRLabel *best = nullptr;
    double bestOverlap = 0;
    for (const auto &element : band->elements()) {
        const auto *label = dynamic_cast<const TQRLabel *>(element.get());
        if (!label)
            continue;
        const double overlap = std::min(label->Left + label->Width, field.Left + field.Width) -
                               std::max(label->Left, field.Left);
        if (overlap > bestOverlap) {
            bestOverlap = overlap;
            best = label;
        }
    }
    return best;
}

} // namespace

ReportTable ReportTable::of(const TQuickRep &report)
{
    ReportTable table;
    // The sheet is named as the report reads: its title, else the caption of its title band.
    table.title = report.ReportTitle;
    if (const TQRBand *titleBand = report.band(rbTitle); table.title.isEmpty() && titleBand) {
        for (const auto &element : titleBand->elements()) {
            if (const auto *label = dynamic_cast<const TQRLabel *>(element.get())) {
                table.title = label->Caption;
                break;
            }
        }
    }
    if (table.title.isEmpty())
        table.title = report.Name;
    table.dataSet = report.DataSet;
    const TQRBand *detail = report.band(rbDetail);
    if (!detail || !table.dataSet)
        return table;
    std::vector<const TQRDBText *> fields;
    for (const auto &element : detail->elements()) {
        if (const auto *field = dynamic_cast<const TQRDBText *>(element.get()))
            fields.push_back(field);
    }
    std::stable_sort(fields.begin(), fields.end(), [](const TQRDBText *a, const TQRDBText *b) {
        if (std::abs(a->Top - b->Top) > sameLineMm)
            return a->Top < b->Top;
        return a->Left < b->Left;
    });
    for (const TQRDBText *field : fields) {
        const int index = table.dataSet->fieldIndex(field->DataField);
        if (index < 0)
            continue;
        QString title;
        if (const TQRLabel *label = labelBefore(*detail, *field))
            title = captionAsTitle(label->Caption);
        else if (const TQRLabel *header = labelAbove(report.band(rbColumnHeader), *field))
            title = captionAsTitle(header->Caption);
        table.titles.append(title.isEmpty() ? field->DataField : title);
        table.fields.append(index);
    }
    return table;
}

ReportRows::ReportRows(const ReportTable &table)
    : m_table(table)
{
    // A column is numeric when its first records all hold whole numbers, as codes do.
    const int sample = std::min(m_table.dataSet->recordCount(), 100);
    for (int c = 0; c < int(m_table.fields.size()); ++c) {
        bool numeric = sample > 0;
        for (int r = 0; r < sample && numeric; ++r) {
            bool ok = false;
            m_table.dataSet->text(r, m_table.fields[c]).toLongLong(&ok);
            numeric = ok;
        }
        m_columns.append({m_table.titles[c], numeric});
    }
}

bool ReportRows::next()
{
    const ReportDataSet &data = *m_table.dataSet;
    while (m_record + 1 >= data.recordCount() && !data.complete())
        data.readMore();
    if (m_record + 1 >= data.recordCount())
        return false;
    ++m_record;
    return true;
}

QByteArrayView ReportRows::utf8(int column)
{
    m_text = m_table.dataSet->text(m_record, m_table.fields[column]).toUtf8();
    return m_text;
}
