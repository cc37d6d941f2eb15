// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/postgres/postgres_backend.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <memory>

// Asked when a save was refused, to name who got there first. A catalogue whose server does
// not record changes, or a row with no record yet, names nobody; so does any failure here,
// as the refusal itself is what the user must see.
RowChange PostgresBackend::lastChange(const QString &table, const QVariant &key)
{
    if (!m_conn || inTransaction() || !key.isValid())
        return {};
    const QByteArray changes(Schema::serverChangesTable.data(),
                             qsizetype(Schema::serverChangesTable.size()));
    const QByteArray sql = "SELECT alterado_por, pg_catalog.date_part('epoch', alterado_em) "
                           "FROM quivel." +
                           changes + " WHERE tabela = $1 AND codigo = $2::integer";
    const QByteArray tableName = table.toLower().toUtf8();
    const QByteArray code = key.toString().toUtf8();
    const char *values[] = {tableName.constData(), code.constData()};
    PgResult r;
    try {
        const PgResult exists(
            exec(QByteArray("SELECT pg_catalog.to_regclass('quivel." + changes + "') IS NOT NULL")
                     .constData()));
        if (PQresultStatus(exists.get()) != PGRES_TUPLES_OK ||
            PQgetvalue(exists.get(), 0, 0)[0] != 't')
            return {};
        r.reset(exec(sql.constData(), 2, values));
    } catch (const EOleException &) {
        return {};
    }
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) != 1)
        return {};
    const double seconds = std::strtod(PQgetvalue(r.get(), 0, 1), nullptr);
    return {QString::fromUtf8(PQgetvalue(r.get(), 0, 0)),
            QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0)).toLocalTime()};
}
