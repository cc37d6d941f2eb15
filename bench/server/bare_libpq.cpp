// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/server/bare_libpq.h"

std::vector<std::string> bareRead(PGconn *conn, const char *sql, const char *parameter)
{
    std::vector<std::string> values;
    const char *values1[] = {parameter};
    PQsendQueryParams(conn, sql, parameter ? 1 : 0, nullptr, parameter ? values1 : nullptr, nullptr,
                      nullptr, 0);
    PQsetSingleRowMode(conn);
    while (PGresult *r = PQgetResult(conn)) {
        if (PQresultStatus(r) == PGRES_SINGLE_TUPLE) {
            const int columns = PQnfields(r);
            for (int c = 0; c < columns; ++c)
                values.emplace_back(PQgetvalue(r, 0, c), size_t(PQgetlength(r, 0, c)));
        }
        PQclear(r);
    }
    return values;
}
