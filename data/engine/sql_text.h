// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// A parameter marker in a statement: ":name", or "?" with an empty name.
struct SqlParameter
{
    qsizetype begin = 0; // position of the ':' or '?'
    qsizetype end = 0;   // one past the marker
    QString name;
};

// The parameter markers of a statement, in order, skipping quoted text ('…', "…", `…`,
// […]), comments and "::" casts. The one reading of SQL text both engines share.
std::vector<SqlParameter> sqlParameters(const QString &statement);

// Names of the ":name" parameters, in order of first use, each once whatever its case.
QStringList scanParameterNames(const QString &statement);

// An identifier in SQL, double-quoted so any name is taken as written.
QString quotedIdentifier(const QString &identifier);
