// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/formats/row_source.h"

#include <QStringList>

#include <functional>

// A small table held in memory, for writing in tests.
class TableRows : public Exchange::RowSource
{
public:
    TableRows(QList<Exchange::Column> columns, QList<QStringList> rows)
        : m_columns(std::move(columns))
        , m_rows(std::move(rows))
    {}

    QList<Exchange::Column> columns() const override { return m_columns; }
    bool next() override { return ++m_row < m_rows.size(); }
    QByteArrayView utf8(int column) override
    {
        const QString &value = m_rows[m_row][column];
        if (value.isNull())
            return {};
        m_text = value.toUtf8();
        return m_text;
    }
    qint64 rowCount() const override { return m_rows.size(); }

private:
    QList<Exchange::Column> m_columns;
    QList<QStringList> m_rows;
    qsizetype m_row = -1;
    QByteArray m_text;
};

// Values that break careless writers: formula starters, quotes, separators, line breaks,
// characters outside the basic plane, the longest texts, spaces at the ends.
inline QList<QStringList> hostileRows()
{
    return {
        {QStringLiteral("1"), QStringLiteral("=1+1"), QStringLiteral("+55 11 98765-4321")},
        {QStringLiteral("2"), QStringLiteral("-5"), QStringLiteral("@SOMA(A1:A2)")},
        {QStringLiteral("3"), QStringLiteral("aspas \"duplas\" e 'simples'"),
         QStringLiteral("ponto;e vírgula, e vírgula")},
        {QStringLiteral("4"), QStringLiteral("linha 1\nlinha 2"), QStringLiteral("tab\tno meio")},
        {QStringLiteral("5"), QStringLiteral("emoji 😀 e clave 𝄞"),
         QStringLiteral("<b>html</b> & co")},
        {QStringLiteral("6"), QString(255, QChar(u'ç')),
         QString(254, QChar(u'x')) + QStringLiteral("€")},
        {QStringLiteral("7"), QStringLiteral("  espaços  nas pontas  "), QString()},
        {QStringLiteral("8"), QStringLiteral("0012"), QStringLiteral("3,14")},
        {QStringLiteral("2147483647"), QStringLiteral("Ação Total"), QStringLiteral("fim")},
    };
}

inline QList<Exchange::Column> hostileColumns()
{
    return {{QStringLiteral("Código"), true},
            {QStringLiteral("Nome"), false},
            {QStringLiteral("Descrição; \"observações\""), false}};
}
