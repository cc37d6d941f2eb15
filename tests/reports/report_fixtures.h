// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/layout_loader.h"
#include "reports/engine/memory_dataset.h"
#include "reports/engine/page_model.h"
#include "reports/report_form.h"

#include <QTest>

#include <memory>
#include <stdexcept>

inline std::shared_ptr<MemoryDataSet> mediaDataSet(int count)
{
    static const QString kinds[] = {QStringLiteral("CD"), QStringLiteral("DVD"),
                                    QStringLiteral("BLURAY"), QStringLiteral("PENDRIVE"),
                                    QStringLiteral("HD EXTERNO")};
    auto data = std::make_shared<MemoryDataSet>(
        QStringList{QStringLiteral("codigo"), QStringLiteral("titulo"), QStringLiteral("obs"),
                    QStringLiteral("tipo"), QStringLiteral("local")});
    for (int i = 1; i <= count; ++i)
        data->append({QString::number(i), QStringLiteral("Mídia %1").arg(i),
                      QStringLiteral("Backup de ação nº %1").arg(i), kinds[i % 5],
                      QStringLiteral("Gaveta %1").arg(i % 7)});
    return data;
}

// Media that arrive `perRead` at a time, as a query still reading its result gives them; the
// first `quietReads` reads bring nothing, as a server still working towards its first row.
class ArrivingDataSet : public MemoryDataSet
{
public:
    ArrivingDataSet(const MemoryDataSet &all, int perRead, int quietReads = 0)
        : MemoryDataSet(QStringList{QStringLiteral("codigo"), QStringLiteral("titulo"),
                                    QStringLiteral("obs"), QStringLiteral("tipo"),
                                    QStringLiteral("local")})
        , m_all(all)
        , m_perRead(perRead)
        , m_quietReads(quietReads)
        , m_answered(quietReads == 0)
    {}

    int recordCount() const override { return m_arrived; }
    QString text(int record, int field) const override
    {
        if (record >= m_arrived)
            throw std::logic_error("a record not arrived yet was read");
        return m_all.text(record, field);
    }
    bool complete() const override { return m_answered && m_arrived == m_all.recordCount(); }
    void readMore() const override
    {
        ++m_reads;
        if (m_quietReads > 0) {
            --m_quietReads;
            return;
        }
        m_answered = true;
        m_arrived = std::min(m_all.recordCount(), m_arrived + m_perRead);
    }
    int reads() const { return m_reads; }

private:
    const MemoryDataSet &m_all;
    int m_perRead;
    mutable int m_quietReads;
    mutable bool m_answered; // a read has brought records or the end
    mutable int m_arrived = 0;
    mutable int m_reads = 0;
};

// The media layout over data, with a plain picture standing in for the product logo.
inline std::unique_ptr<TQuickRep> mediaReport(std::shared_ptr<const ReportDataSet> data,
                                              bool withLogo = true)
{
    registerReportLayouts();
    auto report = loadReportLayout(QStringLiteral(":/reports/media_report.json"));
    report->DataSet = std::move(data);
    if (withLogo) {
        QImage logo(200, 60, QImage::Format_RGB32);
        logo.fill(QColor(120, 120, 120));
        static_cast<TQRImage *>(report->findElement(QStringLiteral("QRImage1")))->Picture = logo;
    }
    return report;
}

inline std::vector<const PageText *> textsOf(const ReportPage &page, const QString &element)
{
    std::vector<const PageText *> found;
    for (const PageText &text : page.texts) {
        if (text.element == element)
            found.push_back(&text);
    }
    return found;
}

inline int picturesOf(const ReportPage &page, const QString &element)
{
    return int(std::count_if(page.pictures.begin(), page.pictures.end(),
                             [&](const PagePicture &p) { return p.element == element; }));
}
