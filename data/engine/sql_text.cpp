// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/sql_text.h"

std::vector<SqlParameter> sqlParameters(const QString &statement)
{
    std::vector<SqlParameter> found;
    const qsizetype n = statement.size();
    const auto isNameChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    qsizetype i = 0;
    while (i < n) {
        const QChar c = statement[i];
        if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const qsizetype close = statement.indexOf(c == u'[' ? u']' : c, i + 1);
            i = close < 0 ? n : close + 1;
            continue;
        }
        if (c == u'-' && i + 1 < n && statement[i + 1] == u'-') {
            const qsizetype end = statement.indexOf(u'\n', i);
            i = end < 0 ? n : end;
            continue;
        }
        if (c == u'/' && i + 1 < n && statement[i + 1] == u'*') {
            const qsizetype end = statement.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            continue;
        }
        if (c == u':' && i + 1 < n && statement[i + 1] == u':') {
            i += 2;
            continue;
        }
        if (c == u':' && i + 1 < n && isNameChar(statement[i + 1])) {
            qsizetype end = i + 1;
            while (end < n && isNameChar(statement[end]))
                ++end;
            found.push_back({i, end, statement.mid(i + 1, end - i - 1)});
            i = end;
            continue;
        }
        if (c == u'?') {
            found.push_back({i, i + 1, QString()});
            ++i;
            continue;
        }
        ++i;
    }
    return found;
}

QStringList scanParameterNames(const QString &statement)
{
    QStringList names;
    for (const SqlParameter &p : sqlParameters(statement)) {
        if (!p.name.isEmpty() && !names.contains(p.name, Qt::CaseInsensitive))
            names.append(p.name);
    }
    return names;
}

QString quotedIdentifier(const QString &identifier)
{
    QString out = identifier;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}
