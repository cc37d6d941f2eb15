// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/page_model.h"
#include "reports/engine/quick_rep.h"

#include <memory>

// Lays a report out into its page model one page at a time, so that the first page of a long
// report is ready at once and the rest can follow in slices from the event loop.
//
// Needs a QGuiApplication (text is measured with the platform's fonts). The layouter copies the
// report's bands when it is made, so the report may go or change afterwards; the dataset is
// shared with the document, whose pages read it again when they are made, and must not change,
// except that a dataset still reading its records may gain more at the end.
class ReportLayouter
{
public:
    // Throws ReportError when the report cannot run (a field the dataset lacks, several columns).
    explicit ReportLayouter(const TQuickRep &report);
    ~ReportLayouter();
    ReportLayouter(const ReportLayouter &) = delete;
    ReportLayouter &operator=(const ReportLayouter &) = delete;

    // Lays out one more page; false when the report was already complete. While the dataset
    // has not yet read the record the page starts with, it reads on for one short slice
    // instead and lays out nothing, so a caller between its events is never held long.
    bool layoutNextPage();
    void layoutAll();
    bool finished() const;

    // The records read so far: all of them once recordCountKnown().
    int recordCount() const;
    bool recordCountKnown() const;
    int recordsPrinted() const;
    std::shared_ptr<ReportDocument> document() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Lays the whole report out at once.
std::shared_ptr<ReportDocument> layoutReport(const TQuickRep &report);
