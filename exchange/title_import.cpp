// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/title_import.h"

#include "core/exceptions.h"
#include "core/schema.h"
#include "data/connection.h"
#include "data/engine/backend.h"

#include <QHash>
#include <QLocale>

#include <memory>

namespace Exchange {

namespace {

// The kinds the media window offers; any kind already in the catalogue counts as known too.
const QStringList offeredTypes = {QStringLiteral("CD"), QStringLiteral("DVD"),
                                  QStringLiteral("BLURAY"), QStringLiteral("PENDRIVE"),
                                  QStringLiteral("HD EXTERNO")};

// Names compared as a person reads them: no case, no surrounding spaces.
QString key(const QString &text)
{
    return text.trimmed().toCaseFolded();
}

// A column title without case, accents, underscores or extra spaces.
QString plainTitle(const QString &title)
{
    QString text = title.normalized(QString::NormalizationForm_D);
    QString plain;
    for (const QChar c : std::as_const(text)) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        plain += c == u'_' ? QChar(u' ') : c.toCaseFolded();
    }
    return plain.simplified();
}

int characters(const QString &text)
{
    return int(text.toUcs4().size());
}

QString tooLong(const QString &what, int size, int limit)
{
    return QStringLiteral("%1 tem %2 caracteres; o máximo é %3").arg(what).arg(size).arg(limit);
}

void run(Backend &backend, const QString &sql)
{
    backend.prepare(sql)->execute();
}

// Rolls back unless committed, whatever leaves the scope.
class Transaction
{
public:
    Transaction(Backend &backend, const QString &begin)
        : m_backend(backend)
    {
        run(m_backend, begin);
    }
    ~Transaction()
    {
        if (m_done)
            return;
        try {
            run(m_backend, QStringLiteral("ROLLBACK"));
        } catch (...) {
            // The engine rolls back a transaction it could not finish on its own.
        }
    }
    void commit()
    {
        run(m_backend, QStringLiteral("COMMIT"));
        m_done = true;
    }

private:
    Backend &m_backend;
    bool m_done = false;
};

struct ExistingMedium
{
    qint64 code = 0;
    QString name;
    QString type;
};

} // namespace

QString fieldLabel(ImportField field)
{
    switch (field) {
    case ImportField::Name:
        return QStringLiteral("Nome do título");
    case ImportField::Description:
        return QStringLiteral("Descrição");
    case ImportField::Medium:
        return QStringLiteral("Mídia");
    case ImportField::Type:
        break;
    }
    return QStringLiteral("Tipo da mídia");
}

TitleImport::TitleImport(const QString &path)
{
    const std::unique_ptr<SheetReader> reader = SheetReader::open(path);
    m_details = reader->details;
    SheetRow row;
    if (!reader->next(row))
        throw ExchangeError(QStringLiteral("O arquivo não tem nenhuma linha; a primeira linha "
                                           "deve trazer os títulos das colunas"));
    m_headers = row.cells;
    for (QString &h : m_headers)
        h = h.trimmed();
    while (reader->next(row))
        m_rows.push_back(std::move(row));
}

ImportMapping TitleImport::guessMapping() const
{
    static const QHash<QString, ImportField> names = {
        {QStringLiteral("nome"), ImportField::Name},
        {QStringLiteral("nome do titulo"), ImportField::Name},
        {QStringLiteral("aplicativo"), ImportField::Name},
        {QStringLiteral("software"), ImportField::Name},
        {QStringLiteral("programa"), ImportField::Name},
        {QStringLiteral("name"), ImportField::Name},
        {QStringLiteral("descricao"), ImportField::Description},
        {QStringLiteral("description"), ImportField::Description},
        {QStringLiteral("midia"), ImportField::Medium},
        {QStringLiteral("media"), ImportField::Medium},
        {QStringLiteral("medium"), ImportField::Medium},
        {QStringLiteral("tipo"), ImportField::Type},
        {QStringLiteral("tipo midia"), ImportField::Type},
        {QStringLiteral("tipo da midia"), ImportField::Type},
        {QStringLiteral("type"), ImportField::Type},
    };
    ImportMapping mapping;
    for (int i = 0; i < int(m_headers.size()); ++i) {
        const auto found = names.constFind(plainTitle(m_headers[i]));
        if (found != names.cend() && mapping[*found] < 0)
            mapping[*found] = i;
    }
    return mapping;
}

ImportPlan TitleImport::plan(Backend &catalogue, const ImportMapping &mapping) const
{
    if (mapping[ImportField::Name] < 0)
        throw ExchangeError(QStringLiteral("Escolha a coluna que traz o nome dos títulos"));
    if (mapping[ImportField::Medium] < 0)
        throw ExchangeError(QStringLiteral("Escolha a coluna que traz a mídia de cada título"));

    const int nameSize = Schema::textSize(Schema::titles, "nome");
    const int descriptionSize = Schema::textSize(Schema::titles, "descricao");
    const int mediumSize = Schema::textSize(Schema::media, "titulo");

    // The catalogue's media by name, and the kinds it knows.
    QHash<QString, std::vector<ExistingMedium>> media;
    QHash<QString, QString> types;
    QStringList typeNames; // in the order the media window offers them, then the others
    for (const QString &t : offeredTypes) {
        types.insert(key(t), t);
        typeNames.append(t);
    }
    {
        auto read = catalogue.prepare(QStringLiteral("SELECT codigo, titulo, tipo FROM cds"));
        while (read->step()) {
            const ExistingMedium m{read->value(0).toLongLong(), read->value(1).toString(),
                                   read->value(2).toString()};
            media[key(m.name)].push_back(m);
            if (!m.type.trimmed().isEmpty() && !types.contains(key(m.type))) {
                types.insert(key(m.type), m.type.trimmed());
                typeNames.append(m.type.trimmed());
            }
        }
    }
    // Titles already on a medium, read the first time a line names it.
    QHash<qint64, QHash<QString, bool>> existingTitles;
    const auto titlesOn = [&](qint64 code) -> const QHash<QString, bool> & {
        auto found = existingTitles.find(code);
        if (found != existingTitles.end())
            return *found;
        QHash<QString, bool> names;
        auto read = catalogue.prepare(QStringLiteral("SELECT nome FROM softs WHERE midia = ?"));
        read->bind(1, code);
        while (read->step())
            names.insert(key(read->value(0).toString()), true);
        return *existingTitles.insert(code, names);
    };

    ImportPlan plan;
    plan.lines = int(m_rows.size());
    QHash<QString, int> newMedia;  // by name
    QHash<QString, int> linesSeen; // medium and title to the line that gave it
    const auto cell = [&mapping](const SheetRow &row, ImportField field) {
        const int column = mapping[field];
        return column >= 0 ? row.cells.value(column).trimmed() : QString();
    };
    for (const SheetRow &row : m_rows) {
        QStringList reasons;
        PlannedTitle title;
        title.line = row.line;
        title.name = cell(row, ImportField::Name);
        title.description = cell(row, ImportField::Description);
        const QString mediumName = cell(row, ImportField::Medium);
        const QString typeText = cell(row, ImportField::Type);

        if (title.name.isEmpty())
            reasons.append(QStringLiteral("falta o nome do título"));
        else if (characters(title.name) > nameSize)
            reasons.append(tooLong(QStringLiteral("o nome"), characters(title.name), nameSize));
        if (characters(title.description) > descriptionSize)
            reasons.append(tooLong(QStringLiteral("a descrição"), characters(title.description),
                                   descriptionSize));
        QString type;
        if (!typeText.isEmpty()) {
            type = types.value(key(typeText));
            if (type.isEmpty())
                reasons.append(QStringLiteral("tipo de mídia desconhecido: '%1' (os conhecidos "
                                              "são %2)")
                                   .arg(typeText, typeNames.join(QStringLiteral(", "))));
        }

        QString mediumKey;
        if (mediumName.isEmpty()) {
            reasons.append(QStringLiteral("falta a mídia"));
        } else {
            const std::vector<ExistingMedium> &found = media[key(mediumName)];
            if (found.size() > 1) {
                reasons.append(QStringLiteral("há %1 mídias chamadas '%2'; não sei em qual pôr "
                                              "o título")
                                   .arg(found.size())
                                   .arg(mediumName));
            } else if (found.size() == 1) {
                title.mediumCode = found.front().code;
                mediumKey = QString::number(title.mediumCode);
                if (!type.isEmpty() && key(found.front().type) != key(type))
                    reasons.append(QStringLiteral("a mídia '%1' é do tipo '%2', não '%3'")
                                       .arg(found.front().name, found.front().type, type));
                if (!title.name.isEmpty() && titlesOn(title.mediumCode).contains(key(title.name)))
                    reasons.append(QStringLiteral("o título '%1' já existe na mídia '%2'")
                                       .arg(title.name, found.front().name));
            } else if (!mapping.createMedia) {
                reasons.append(QStringLiteral("a mídia '%1' não existe no catálogo (permita criar "
                                              "as mídias que faltam para incluí-la)")
                                   .arg(mediumName));
            } else if (characters(mediumName) > mediumSize) {
                reasons.append(
                    tooLong(QStringLiteral("o nome da mídia"), characters(mediumName), mediumSize));
            } else {
                mediumKey = QStringLiteral("novo:") + key(mediumName);
                const auto planned = newMedia.constFind(key(mediumName));
                if (planned != newMedia.cend()) {
                    const PlannedMedium &m = plan.newMedia[size_t(*planned)];
                    if (!type.isEmpty() && !m.type.isEmpty() && key(m.type) != key(type))
                        reasons.append(QStringLiteral("a mídia '%1' já veio com o tipo '%2', "
                                                      "não '%3'")
                                           .arg(m.name, m.type, type));
                    title.newMedium = *planned;
                } else {
                    title.newMedium = -2; // made below, once the line is known to be good
                }
            }
        }
        if (!mediumKey.isEmpty() && !title.name.isEmpty()) {
            const QString titleKey = mediumKey + u'\n' + key(title.name);
            const auto earlier = linesSeen.constFind(titleKey);
            if (earlier != linesSeen.cend())
                reasons.append(QStringLiteral("repete o título '%1' da linha %2 na mesma mídia")
                                   .arg(title.name)
                                   .arg(*earlier));
            else if (reasons.isEmpty())
                linesSeen.insert(titleKey, row.line);
        }
        if (!reasons.isEmpty()) {
            plan.problems.push_back({row.line, reasons.join(QStringLiteral("; "))});
            continue;
        }
        if (title.newMedium == -2) {
            title.newMedium = int(plan.newMedia.size());
            newMedia.insert(key(mediumName), title.newMedium);
            plan.newMedia.push_back({mediumName, type});
        } else if (title.newMedium >= 0 && plan.newMedia[size_t(title.newMedium)].type.isEmpty()) {
            plan.newMedia[size_t(title.newMedium)].type = type;
        }
        plan.titles.push_back(std::move(title));
    }
    return plan;
}

bool applyImport(TADOConnection &connection, const ImportPlan &plan, const Progress &progress)
{
    // A read still pending on the connection must not see the import half done.
    connection.completePendingReads();
    Backend &backend = connection.backend();
    // On a file the write lock is taken at once, so no other writer can slip in between.
    Transaction transaction(backend, backend.beginWrite());
    std::vector<qint64> newCodes;
    newCodes.reserve(plan.newMedia.size());
    qint64 written = 0;
    for (const PlannedMedium &m : plan.newMedia) {
        // The code comes back from the INSERT itself, as for any new record.
        auto insert = backend.prepare(
            QStringLiteral("INSERT INTO cds (titulo, tipo) VALUES (?, ?) RETURNING codigo"));
        insert->bind(1, m.name);
        insert->bind(2, m.type.isEmpty() ? QVariant() : QVariant(m.type));
        if (!insert->step())
            throw EDatabaseError(QStringLiteral("A mídia '%1' não foi cadastrada").arg(m.name));
        newCodes.push_back(insert->value(0).toLongLong());
        while (insert->step()) {
        }
        if (progress && ++written % 64 == 0 && !progress(written))
            return false;
    }
    for (const PlannedTitle &t : plan.titles) {
        auto insert = backend.prepare(
            QStringLiteral("INSERT INTO softs (nome, descricao, midia) VALUES (?, ?, ?)"));
        insert->bind(1, t.name);
        insert->bind(2, t.description.isEmpty() ? QVariant() : QVariant(t.description));
        insert->bind(3, t.newMedium >= 0 ? newCodes[size_t(t.newMedium)] : t.mediumCode);
        insert->execute();
        if (progress && ++written % 64 == 0 && !progress(written))
            return false;
    }
    if (progress && !progress(written))
        return false;
    transaction.commit();
    return true;
}

QStringList describePlan(const ImportPlan &plan)
{
    const QLocale pt(QLocale::Portuguese, QLocale::Brazil);
    QStringList lines;
    lines.append(QStringLiteral("%1 linha(s) lida(s): %2 título(s) e %3 mídia(s) nova(s) serão "
                                "adicionados.")
                     .arg(pt.toString(plan.lines), pt.toString(qlonglong(plan.titles.size())),
                          pt.toString(qlonglong(plan.newMedia.size()))));
    if (plan.problems.empty())
        return lines;
    lines.append(QStringLiteral("%1 linha(s) não podem ser importadas:")
                     .arg(pt.toString(qlonglong(plan.problems.size()))));
    for (const ImportProblem &p : plan.problems)
        lines.append(QStringLiteral("Linha %1: %2.").arg(p.line).arg(p.reason));
    return lines;
}

} // namespace Exchange
