// SPDX-License-Identifier: GPL-3.0-or-later
#include "identify/catalogue_save.h"

#include "core/exceptions.h"
#include "data/connection.h"
#include "data/engine/backend.h"
#include "data/query.h"
#include "identify/untrusted_text.h"

namespace Identify {

QStringList titlesOnMedium(TADOConnection &connection, int mediumCode)
{
    TADOQuery query(QStringLiteral("IdentifyTitles"), &connection);
    query.setSql({QStringLiteral("select nome from softs where midia = :midia")});
    query.setParameter(QStringLiteral("midia"), mediumCode);
    query.open();
    QStringList names;
    for (int row = 0; row < query.recordCount(); ++row)
        names << query.textAt(row, 0);
    return names;
}

bool holdsName(const QStringList &existing, const QString &name)
{
    const QString wanted = name.trimmed();
    for (const QString &held : existing) {
        if (held.trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

Saved save(TADOConnection &connection, const MediumChoice &medium, const QList<Title> &titles)
{
    if (!connection.connected())
        throw EDatabaseError(QStringLiteral("O catálogo não está aberto; nada foi cadastrado"));
    if (medium.code <= 0 && medium.name.trimmed().isEmpty())
        throw EDatabaseError(QStringLiteral("O nome da nova mídia não pode ficar vazio"));
    connection.completePendingReads();
    Backend &backend = connection.backend();
    const TADOConnection::StatementTimer timer(connection);
    backend.prepare(QStringLiteral("BEGIN"))->execute();
    Saved saved;
    try {
        if (medium.code > 0) {
            // A write first: it takes the catalogue's write lock before anything is read, and
            // finds whether the medium still exists.
            const auto touch =
                backend.prepare(QStringLiteral("UPDATE cds SET codigo = codigo WHERE codigo = ?"));
            touch->bind(1, medium.code);
            if (touch->execute() != 1)
                throw EDatabaseError(
                    QStringLiteral("A mídia %1 não existe mais no catálogo").arg(medium.code));
            saved.mediumCode = medium.code;
        } else {
            // The code comes back from the INSERT itself, as for any new record.
            const auto insert = backend.prepare(
                QStringLiteral("INSERT INTO cds (titulo, tipo) VALUES (?, ?) RETURNING codigo"));
            insert->bind(1, cutToSize(medium.name.trimmed(), mediumNameSize).text);
            insert->bind(2, cutToSize(medium.type.trimmed(), mediumTypeSize).text);
            if (!insert->step())
                throw EDatabaseError(QStringLiteral("A nova mídia não foi cadastrada"));
            saved.mediumCode = int(insert->value(0).toLongLong());
            while (insert->step()) {
            }
        }
        QStringList existing;
        {
            const auto names =
                backend.prepare(QStringLiteral("SELECT nome FROM softs WHERE midia = ?"));
            names->bind(1, saved.mediumCode);
            while (names->step())
                existing << names->value(0).toString();
        }
        for (const Title &title : titles) {
            if (!title.ticked)
                continue;
            const QString name = cutToSize(title.name.trimmed(), titleNameSize).text;
            if (name.isEmpty())
                continue;
            if (holdsName(existing, name)) {
                saved.alreadyThere << name;
                continue;
            }
            const auto row = backend.prepare(
                QStringLiteral("INSERT INTO softs (nome, descricao, midia) VALUES (?, ?, ?)"));
            row->bind(1, name);
            row->bind(2, cutToSize(title.description, titleDescriptionSize).text);
            row->bind(3, saved.mediumCode);
            row->execute();
            existing << name;
            saved.added << name;
        }
        backend.prepare(QStringLiteral("COMMIT"))->execute();
    } catch (...) {
        try {
            backend.prepare(QStringLiteral("ROLLBACK"))->execute();
        } catch (...) {
            // The first failure is the one to report; the engine undoes what a failed
            // transaction left when the connection closes.
        }
        throw;
    }
    return saved;
}

} // namespace Identify
