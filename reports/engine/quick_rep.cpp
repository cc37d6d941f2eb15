// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/quick_rep.h"

QString TQRDBText::printedText(const TQRPrintContext &context) const
{
    if (!context.dataSet || context.record < 0)
        return {};
    const int field = context.dataSet->fieldIndex(DataField);
    return field < 0 ? QString() : context.dataSet->text(context.record, field);
}

QString TQRSysData::printedText(const TQRPrintContext &context) const
{
    const int count = context.dataSet ? context.dataSet->recordCount() : 0;
    return Text + QString::number(count);
}

TQuickRep::TQuickRep()
    : Font(QStringLiteral("Arial"))
{
    Font.setPointSizeF(10);
}

TQRBand &TQuickRep::addBand(const QString &name, TQRBandType type, double height)
{
    m_bands.push_back(std::make_unique<TQRBand>(name, type, height));
    return *m_bands.back();
}

TQRBand *TQuickRep::band(TQRBandType type) const
{
    for (const auto &band : m_bands) {
        if (band->BandType == type)
            return band.get();
    }
    return nullptr;
}

TQRPrintable *TQuickRep::findElement(const QString &name) const
{
    for (const auto &band : m_bands) {
        for (const auto &element : band->elements()) {
            if (element->Name == name)
                return element.get();
        }
    }
    return nullptr;
}
