// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/formats/row_source.h"
#include "exchange/formats/sheet_reader.h"

#include <QStringList>

#include <array>
#include <vector>

class Backend;
class TADOConnection;

namespace Exchange {

// What a column of the file may fill in.
enum class ImportField { Name, Description, Medium, Type };
inline constexpr int importFieldCount = 4;
QString fieldLabel(ImportField field);

struct ImportMapping
{
    // The file's column for each field, or -1 for none.
    std::array<int, importFieldCount> column{-1, -1, -1, -1};
    // Media named in the file and missing from the catalogue are created.
    bool createMedia = false;

    int &operator[](ImportField field) { return column[size_t(field)]; }
    int operator[](ImportField field) const { return column[size_t(field)]; }
};

struct ImportProblem
{
    int line = 0;
    QString reason; // Portuguese, every reason of the line
};

struct PlannedMedium
{
    QString name;
    QString type; // empty when the file gives none
};

struct PlannedTitle
{
    int line = 0;
    QString name;
    QString description;
    qint64 mediumCode = 0; // an existing medium, or
    int newMedium = -1;    // the index of a medium in ImportPlan::newMedia
};

// What an import will do, worked out before anything is written.
struct ImportPlan
{
    std::vector<PlannedTitle> titles;
    std::vector<PlannedMedium> newMedia;
    std::vector<ImportProblem> problems;
    int lines = 0; // lines with data, the header aside
};

// A spreadsheet of titles with a header row, read whole (the lists users keep are thousands
// of lines, not millions) and checked against the catalogue line by line.
class TitleImport
{
public:
    // Throws ExchangeError when the file cannot be read or has no header row.
    explicit TitleImport(const QString &path);

    const QStringList &headers() const { return m_headers; }
    const QString &details() const { return m_details; }
    int lineCount() const { return int(m_rows.size()); }
    // The columns whose titles name a field ("Nome", "Descrição", "Mídia", "Tipo"...).
    ImportMapping guessMapping() const;

    // Checks every line against the catalogue without writing. Throws ExchangeError when the
    // mapping lacks the name or the medium, and the data layer's Exception when the catalogue
    // cannot be read.
    ImportPlan plan(Backend &catalogue, const ImportMapping &mapping) const;

private:
    QStringList m_headers;
    QString m_details;
    std::vector<SheetRow> m_rows;
};

// Writes the plan's new media and titles in one transaction; the catalogue numbers them as it
// numbers any new record. Returns false when progress stopped it, and throws when something
// fails; either way the catalogue is left exactly as it was.
bool applyImport(TADOConnection &connection, const ImportPlan &plan, const Progress &progress = {});

// "12 títulos e 3 mídias serão adicionados; 2 linhas não podem ser importadas:" and the lines.
QStringList describePlan(const ImportPlan &plan);

} // namespace Exchange
