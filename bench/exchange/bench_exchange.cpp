// SPDX-License-Identifier: GPL-3.0-or-later
// The whole-catalogue CSV export against the plainest writer of the same rows: fprintf from a
// prepared statement, on a catalogue of 1,000,000 titles on 100,000 media.
#include "bench/support/bench_directory.h"
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "data/connection.h"
#include "exchange/catalogue_exchange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdio>

namespace {

constexpr int mediaCount = 100000;
constexpr int titleCount = 1000000;
constexpr int rounds = 5;

QString cataloguePath()
{
    return benchDirectory() + QStringLiteral("/quivel.mdb");
}

const char *text(sqlite3_stmt *s, int column)
{
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(s, column));
    return t ? t : "";
}

// The plain way: the same two statements, the same columns, texts in quotes, one fprintf a
// row into a buffered stream. The sample data holds no quote, so nothing needs doubling.
void plainExport(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(cataloguePath()).constData(), &db, SQLITE_OPEN_READONLY,
                    nullptr);
    std::FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    std::fputs("\xEF\xBB\xBF\"Código\";\"Aplicativo\";\"Descrição\";\"Código da mídia\";"
               "\"Mídia\";\"Tipo\";\"Local\";\"Observações da mídia\"\r\n",
               out);
    const char *statements[] = {
        "SELECT s.numero, s.nome, s.descricao, s.midia, c.titulo, c.tipo, c.local, c.obs FROM "
        "softs s LEFT JOIN cds c ON c.codigo = s.midia ORDER BY s.numero",
        "SELECT NULL, NULL, NULL, c.codigo, c.titulo, c.tipo, c.local, c.obs FROM cds c WHERE "
        "NOT EXISTS (SELECT 1 FROM softs s WHERE s.midia = c.codigo) ORDER BY c.codigo"};
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const char *sql : statements) {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) {
            std::fprintf(out, "%s;\"%s\";\"%s\";%s;\"%s\";\"%s\";\"%s\";\"%s\"\r\n", text(s, 0),
                         text(s, 1), text(s, 2), text(s, 3), text(s, 4), text(s, 5), text(s, 6),
                         text(s, 7));
        }
        sqlite3_finalize(s);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    std::fclose(out);
    sqlite3_close(db);
}

void quivelExport(const QString &path)
{
    TADOConnection connection;
    Exchange::openCatalogue(connection, cataloguePath());
    Exchange::WriteOptions options;
    qint64 told = 0;
    options.progress = [&told](qint64 rows) {
        told = rows;
        return true;
    };
    Exchange::exportCatalogue(connection, path, options);
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
    const QString plainPath = benchDirectory() + QStringLiteral("/plain.csv");
    const QString quivelPath = benchDirectory() + QStringLiteral("/quivel.csv");

    // One untimed run each warms the file cache for both; then the two alternate, each going
    // first in every other pair. The rows pass through, none is kept: the peak each side adds
    // is its buffers'.
    runInterleaved({{[&] { quivelExport(quivelPath); }}, {[&] { plainExport(plainPath); }}},
                   {{"csv export", 0, 1, 1.3}}, rounds, {.peakMemory = true});
    std::printf("CSV export of %d titles; sizes %lld and %lld bytes\n", titleCount,
                QFileInfo(quivelPath).size(), QFileInfo(plainPath).size());
    QFile::remove(plainPath);
    QFile::remove(quivelPath);
    return 0;
}
