// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/legacy/catalogue_shape.h"

const QList<Legacy::TableShape> &Legacy::catalogueTables()
{
    static const QList<TableShape> tables = {
        {QStringLiteral("cds"),
         {{QStringLiteral("codigo"), 0},
          {QStringLiteral("titulo"), 32},
          {QStringLiteral("obs"), 255},
          {QStringLiteral("tipo"), 16},
          {QStringLiteral("local"), 50}}},
        {QStringLiteral("softs"),
         {{QStringLiteral("numero"), 0},
          {QStringLiteral("nome"), 32},
          {QStringLiteral("descricao"), 255},
          {QStringLiteral("midia"), 0}}},
    };
    return tables;
}

int Legacy::characterCount(const QString &text)
{
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++count;
    }
    return count;
}

QString Legacy::lengthProblem(const QString &table, qint64 code, const ColumnShape &column,
                              const QString &value)
{
    if (!column.isText())
        return {};
    const int length = characterCount(value);
    if (length <= column.maxLength)
        return {};
    return QStringLiteral("O registro de código %1 da tabela '%2' tem %3 caracteres na coluna "
                          "'%4', e esta versão aceita no máximo %5")
        .arg(code)
        .arg(table)
        .arg(length)
        .arg(column.name)
        .arg(column.maxLength);
}
