// SPDX-License-Identifier: GPL-3.0-or-later
// How soon the first page of a long report is ready, and what laying out all of it costs.
#include "reports/engine/layout_loader.h"
#include "reports/engine/memory_dataset.h"
#include "reports/engine/report_layouter.h"
#include "reports/report_form.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

std::shared_ptr<const MemoryDataSet> manyMedia()
{
    static const auto data = [] {
        auto media = std::make_shared<MemoryDataSet>(
            QStringList{QStringLiteral("codigo"), QStringLiteral("titulo"), QStringLiteral("obs"),
                        QStringLiteral("tipo"), QStringLiteral("local")});
        for (int i = 1; i <= 100000; ++i)
            media->append({QString::number(i), QStringLiteral("Mídia %1").arg(i),
                           QStringLiteral("Cópia de segurança nº %1").arg(i), QStringLiteral("DVD"),
                           QStringLiteral("Armário %1").arg(i % 13)});
        return media;
    }();
    return data;
}

// The goal: under 200 ms from the call to a first page on screen for 100,000 records: laid out,
// then made to be painted.
void firstPageOf100kMedia(benchmark::State &state)
{
    registerReportLayouts();
    auto report = loadReportLayout(QStringLiteral(":/reports/media_report.json"));
    report->DataSet = manyMedia();
    for (auto _ : state) {
        ReportLayouter layouter(*report);
        layouter.layoutNextPage();
        const ReportPage page = layouter.document()->page(0);
        benchmark::DoNotOptimize(page.texts.data());
    }
}
BENCHMARK(firstPageOf100kMedia)->Unit(benchmark::kMillisecond);

void wholeReportOf100kMedia(benchmark::State &state)
{
    registerReportLayouts();
    auto report = loadReportLayout(QStringLiteral(":/reports/media_report.json"));
    report->DataSet = manyMedia();
    for (auto _ : state) {
        auto document = layoutReport(*report);
        benchmark::DoNotOptimize(document->pageCount());
    }
}
BENCHMARK(wholeReportOf100kMedia)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
