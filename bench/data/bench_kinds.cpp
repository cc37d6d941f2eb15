// SPDX-License-Identifier: GPL-3.0-or-later
// The kind of content each title has, on a catalogue of 1,000,000 titles on 100,000 media:
// what it costs the software report and the search, whether its name is better joined in or
// looked up in a table kept in memory, and the upgrade of a file of the first version.
#include "bench/support/bench_directory.h"
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "catalogue/upgrade.h"
#include "data/connection.h"
#include "data/query.h"
#include "reports/report_panel.h"
#include "tests/support/version1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace {

constexpr int mediaCount = 100000;
constexpr int titleCount = 1000000;

QString cataloguePath()
{
    return benchDirectory() + u"/quivel.mdb"_s;
}

// The same catalogue as the first version kept it, and the copy each upgrade run works on.
QString version1Path()
{
    return benchDirectory() + u"/quivel-v1.mdb"_s;
}

QString workPath()
{
    return benchDirectory() + u"/upgrade/quivel.mdb"_s;
}

struct Session
{
    explicit Session(const QStringList &sql)
        : query(u"ADOQuery4"_s, &connection)
    {
        connection.setConnectionString(u"Data Source="_s + cataloguePath() + u';');
        query.setSql(sql);
    }
    TADOConnection connection;
    TADOQuery query;
};

// A whole read of the session's statement; `perRow` runs over the open result inside the
// timing, the close is outside it.
PairSide openSide(Session &s, std::function<qsizetype(TADOQuery &)> perRow)
{
    return {[&s, perRow] {
                s.query.open();
                benchmark::DoNotOptimize(perRow(s.query));
            },
            [&s] { s.query.close(); }};
}

qsizetype nothing(TADOQuery &query)
{
    return query.recordCount();
}

// The software report as the first version read it (no kind), as the program reads it (the
// kind's name joined in by the statement), and the other way: the statement gives the kind's
// code, and each row's name is looked up in the few kinds read once into memory, as the report
// would when it prints the row.
void compareReports(int rounds)
{
    std::unordered_map<qint64, QString> names;
    {
        Session kinds({u"select * from categorias"_s});
        kinds.query.open();
        for (int row = 0; row < kinds.query.recordCount(); ++row)
            names.emplace(kinds.query.valueAt(row, 0).toLongLong(), kinds.query.textAt(row, 1));
    }
    Session version1({u"SELECT numero, nome, descricao, codigo, titulo"_s, u"FROM softs, cds"_s,
                      u"where softs.midia = cds.codigo"_s});
    Session joined(ReportPanel::softwareReportSql(false));
    Session lookedUp({u"SELECT numero, nome, descricao, codigo, titulo, categoria"_s,
                      u"FROM softs, cds"_s, u"where softs.midia = cds.codigo"_s});
    runInterleaved({openSide(joined, nothing), openSide(version1, nothing),
                    openSide(lookedUp,
                             [&names](TADOQuery &query) {
                                 qsizetype letters = 0;
                                 const int kind = query.fieldCount() - 1;
                                 for (int row = 0; row < query.recordCount(); ++row) {
                                     const auto found =
                                         names.find(query.valueAt(row, kind).toLongLong());
                                     letters += found == names.end() ? 0 : found->second.size();
                                 }
                                 return letters;
                             })},
                   {{"all titles, kind joined, vs the first version", 0, 1, 1.1},
                    {"all titles, kind joined, vs kind looked up", 0, 2, 1.0}},
                   rounds);
}

// The search window's statement for a word few titles hold, without and with the kind.
QStringList searchSql(bool withKind)
{
    const QString where = u"where nome like '%edição 77%' and softs.midia = cds.codigo"_s;
    if (!withKind)
        return {u"SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS DESCRIÇÃO, titulo "
                "AS MÍDIA, tipo AS TIPO_MÍDIA"_s,
                u"FROM softs, cds"_s, where};
    return {u"SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS DESCRIÇÃO, "
            "nome_categoria AS CATEGORIA, titulo AS MÍDIA, tipo AS TIPO_MÍDIA"_s,
            u"FROM softs LEFT JOIN categorias ON categorias.id_categoria = softs.categoria, cds"_s,
            where};
}

void compareSearches(int pairs)
{
    Session version1(searchSql(false));
    Session joined(searchSql(true));
    runInterleavedPairs("search, kind joined, vs the first version", openSide(joined, nothing),
                        openSide(version1, nothing), pairs, 1.1);
}

// A fresh copy of the first version's file for each run, made outside the timing.
void placeVersion1Copy()
{
    QDir().mkpath(QFileInfo(workPath()).absolutePath());
    for (const QString &name : QDir(QFileInfo(workPath()).absolutePath()).entryList(QDir::Files))
        QFile::remove(QFileInfo(workPath()).absolutePath() + u'/' + name);
    QFile::copy(version1Path(), workPath());
}

// The program's way: on a copy, checked, made durable, the original kept beside it; the plain
// way: copy the file, add the column and give every title the first kind.
void compareUpgrades(int pairs)
{
    runInterleavedPairs(
        "upgrade vs copy, alter and update",
        {.run = [] { benchmark::DoNotOptimize(Legacy::upgradeCatalogue(workPath()).toVersion); },
         .before = placeVersion1Copy},
        {.run =
             [] {
                 const QString copy = workPath() + u".copy"_s;
                 QFile::copy(workPath(), copy);
                 sqlite3 *db = nullptr;
                 sqlite3_open(QFile::encodeName(copy).constData(), &db);
                 sqlite3_exec(db,
                              "BEGIN; ALTER TABLE softs ADD COLUMN categoria INTEGER; UPDATE "
                              "softs SET categoria = 1; COMMIT",
                              nullptr, nullptr, nullptr);
                 sqlite3_close(db);
             },
         .before = placeVersion1Copy},
        pairs, 1.5);
}

} // namespace

int main()
{
    QDir().mkpath(benchDirectory());
    if (!QFileInfo::exists(cataloguePath())) {
        std::printf("Making %s (%d media, %d titles)...\n", qPrintable(cataloguePath()), mediaCount,
                    titleCount);
        Catalogue::createLarge(cataloguePath(), mediaCount, titleCount);
    }
    if (!QFileInfo::exists(version1Path())) {
        std::printf("Making %s, the same as the first version kept it...\n",
                    qPrintable(version1Path()));
        writeVersion1Copy(cataloguePath(), version1Path());
    }
    compareReports(5);
    compareSearches(7);
    compareUpgrades(5);
    return 0;
}
