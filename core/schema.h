// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <span>
#include <string_view>

// The catalogue's tables as plain data: every place that needs a table, a column or a size
// (the file's DDL, the data module's fields, the converter and the checker) reads it from
// here, and each storage backend writes its own DDL from it.
namespace Schema {

// Raised whenever a table, a column, a size or an index changes; files record it, and a
// program refuses files of a newer one.
inline constexpr int version = 2;

enum class Type {
    Key,     // integer key the engine numbers itself, never reused
    Integer, // plain integer
    Text,    // text of at most `size` characters (code points)
};

struct Column
{
    std::string_view name;
    Type type;
    int size = 0;          // Text only
    bool indexed = false;  // looked up by value, so it gets an index of its own
    int since = 1;         // the version that added it
    bool required = false; // never empty; an Integer one takes `defaultValue` when not given
    int defaultValue = 0;
    bool distinct = false; // Text only: no two rows alike, letter case aside
};

struct Table
{
    std::string_view name;
    std::span<const Column> columns; // the key first
    int since = 1;
    // Rows a new catalogue starts with, in code order: the text of the one Text column.
    std::span<const std::string_view> rows = {};
};

inline constexpr Column mediaColumns[] = {
    {"codigo", Type::Key},    {"titulo", Type::Text, 32}, {"obs", Type::Text, 255},
    {"tipo", Type::Text, 16}, {"local", Type::Text, 50},
};

// The code of the kind a title gets when none is given: the first kind a catalogue starts with.
inline constexpr int defaultKind = 1;

inline constexpr Column titleColumns[] = {
    {"numero", Type::Key},
    {"nome", Type::Text, 32},
    {"descricao", Type::Text, 255},
    {"midia", Type::Integer, 0, true},
    // Titles of a catalogue made before kinds existed are software, the first kind.
    {"categoria", Type::Integer, 0, true, 2, true, defaultKind},
};

// The kinds of content a title may be (software, game, film ...); the user edits them.
inline constexpr Column kindColumns[] = {
    {"id_categoria", Type::Key, 0, false, 2},
    {"nome_categoria", Type::Text, 32, false, 2, true, 0, true},
};

// UTF-8; "Software" first, so it gets the code titles take by default.
inline constexpr std::string_view kindNames[] = {"Software", "Jogo",      "Filme",
                                                 "Música",   "Documento", "Outros"};

inline constexpr Table tables[] = {
    {"cds", mediaColumns},
    {"softs", titleColumns},
    {"categorias", kindColumns, 2, kindNames},
};

inline constexpr const Table &media = tables[0];
inline constexpr const Table &titles = tables[1];
inline constexpr const Table &kinds = tables[2];

constexpr const Column &column(const Table &table, std::string_view name)
{
    for (const Column &c : table.columns) {
        if (c.name == name)
            return c;
    }
    throw "no such column"; // a compile-time error wherever the lookup is constant
}

// Maximum length of a text column, for the fields bound to it.
constexpr int textSize(const Table &table, std::string_view name)
{
    return column(table, name).size;
}

// One step of an older catalogue towards this version: the SQLite statements that take a
// file of version `from` to version `from + 1`, user_version aside.
struct Migration
{
    int from;
    std::string_view sqlite; // UTF-8
};

// The steps from every older version to this one, drawn from the tables and columns above by
// the version that added them.
std::span<const Migration> migrations();

inline QString name(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// The server's table of the catalogue's version, beside the tables above (postgresDdl).
inline constexpr std::string_view serverVersionTable = "versao";

// Who changed what, on a server only: the server records the account and the time of each
// row's last change in a table of its own, filled by a trigger on each of the tables above,
// so no program can write a name of its choosing. The file has no accounts.
inline constexpr std::string_view serverChangesTable = "alteracoes";
inline constexpr std::string_view serverChangesFunction = "registra_alteracao";
// The trigger that records changes to `table`.
QString serverChangesTrigger(const Table &table);
// Makes the table, its function and the triggers, or brings them up to date; runs again
// harmlessly. The table's rows outlive nothing: a row deleted takes its record along.
QString postgresChangesDdl();

// The name of the index a column with `indexed` gets, on either backend.
QString indexName(const Table &table, const Column &column);

// The SQLite backend: the column's declared type, and the whole DDL of a new catalogue,
// ending with the file's version.
QString sqliteType(const Column &column);
QString sqliteDdl();
// The statements that add what version `to` brought to a catalogue of version `to - 1`.
QString sqliteStep(int to);

// The PostgreSQL backend: everything lives in the "quivel" schema, which the program's
// sessions search first. Besides the tables it holds the version and the search's LIKE,
// which folds case for every letter whatever the database's locale and takes a backslash as
// an ordinary character, as the file does.
QString postgresType(const Column &column);
QString postgresDdl();
// As sqliteStep, the version row included.
QString postgresStep(int to);

} // namespace Schema
