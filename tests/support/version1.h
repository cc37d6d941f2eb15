// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A catalogue file as the first version wrote it, remade from one of this version: the same
// media and titles with their codes, NULLs and counters, in that version's two tables and
// with its version number. The kinds are left behind, as that version had none.
void writeVersion1Copy(const QString &source, const QString &target);

// Every row of a table in key order, one line each, every value quoted as SQL writes it, so a
// NULL and empty text differ; `columns` as a select list.
QString tableDump(const QString &path, const QString &table, const QString &columns);
