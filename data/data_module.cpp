// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/data_module.h"

#include "core/exceptions.h"
#include "core/schema.h"
#include "data/catalogue_address.h"

#include <QDir>
#include <QSet>

TDm1::TDm1(MessageWindow showMessage, QObject *parent)
    : QObject(parent)
    , ADOQuery1(QStringLiteral("ADOQuery1"), &ADOConnection1)
    , ADOQuery1codigo(QStringLiteral("codigo"))
    , ADOQuery1titulo(QStringLiteral("titulo"), Schema::textSize(Schema::media, "titulo"))
    , ADOQuery1obs(QStringLiteral("obs"), Schema::textSize(Schema::media, "obs"))
    , ADOQuery1tipo(QStringLiteral("tipo"), Schema::textSize(Schema::media, "tipo"))
    , ADOQuery1local(QStringLiteral("local"), Schema::textSize(Schema::media, "local"))
    , DataSource1(&ADOQuery1)
    , ADOQuery2(QStringLiteral("ADOQuery2"), &ADOConnection1)
    , ADOQuery2numero(QStringLiteral("numero"))
    , ADOQuery2nome(QStringLiteral("nome"), Schema::textSize(Schema::titles, "nome"))
    , ADOQuery2descricao(QStringLiteral("descricao"), Schema::textSize(Schema::titles, "descricao"))
    , ADOQuery2midia(QStringLiteral("midia"))
    , ADOQuery2categoria(QStringLiteral("categoria"))
    , DataSource2(&ADOQuery2)
    , ADOQuery3(QStringLiteral("ADOQuery3"), &ADOConnection1)
    , ADOQuery3codigo(QStringLiteral("codigo"))
    , ADOQuery3titulo(QStringLiteral("titulo"), Schema::textSize(Schema::media, "titulo"))
    , ADOQuery3obs(QStringLiteral("obs"), Schema::textSize(Schema::media, "obs"))
    , ADOQuery3tipo(QStringLiteral("tipo"), Schema::textSize(Schema::media, "tipo"))
    , ADOQuery3local(QStringLiteral("local"), Schema::textSize(Schema::media, "local"))
    , ADOQuery4(QStringLiteral("ADOQuery4"), &ADOConnection1)
    , DataSource4(&ADOQuery4)
    , ADOQuery5(QStringLiteral("ADOQuery5"), &ADOConnection1)
    , DataSource5(&ADOQuery5)
    , ADOQuery6(QStringLiteral("ADOQuery6"), &ADOConnection1)
    , DataSource6(&ADOQuery6)
    , ADOQuery7(QStringLiteral("ADOQuery7"), &ADOConnection1)
    , ADOQuery7id_categoria(QStringLiteral("id_categoria"))
    , ADOQuery7nome_categoria(QStringLiteral("nome_categoria"),
                              Schema::textSize(Schema::kinds, "nome_categoria"))
    , DataSource7(&ADOQuery7)
    , m_showMessage(std::move(showMessage))
{
    setObjectName(QStringLiteral("Dm1"));
    ADOConnection1.cursorLocation = TCursorLocation::UseServer;
    ADOConnection1.loginPrompt = false;
    ADOConnection1.mode = TConnectMode::ShareDenyNone;
    ADOConnection1.provider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
    ADOConnection1.keepConnection = true;

    const QString allMedia = QStringLiteral("select * from cds");
    ADOQuery1.setSql({allMedia});
    for (TField *f :
         {static_cast<TField *>(&ADOQuery1codigo), static_cast<TField *>(&ADOQuery1titulo),
          static_cast<TField *>(&ADOQuery1obs), static_cast<TField *>(&ADOQuery1tipo),
          static_cast<TField *>(&ADOQuery1local)})
        ADOQuery1.addField(f);
    // A medium a title refers to is never deleted, however the title came to be saved.
    ADOQuery1.setDeleteGuard(
        QStringLiteral("NOT EXISTS (SELECT 1 FROM softs WHERE softs.midia = cds.codigo)"));
    ADOQuery2.setSql({QStringLiteral("select * from softs")});
    for (TField *f :
         {static_cast<TField *>(&ADOQuery2numero), static_cast<TField *>(&ADOQuery2nome),
          static_cast<TField *>(&ADOQuery2descricao), static_cast<TField *>(&ADOQuery2midia),
          static_cast<TField *>(&ADOQuery2categoria)})
        ADOQuery2.addField(f);
    // A new title is software until the user chooses another kind.
    ADOQuery2categoria.setDefaultValue(Schema::defaultKind);
    // The other half of the guard above: a title is never saved onto a medium another copy
    // of the program has just deleted.
    ADOQuery2.setSaveGuard(
        QStringLiteral("midia"),
        QStringLiteral("midia IS NULL OR EXISTS (SELECT 1 FROM cds WHERE cds.codigo = "
                       "softs.midia)"),
        QStringLiteral("A mídia escolhida para este software não existe mais: ela foi apagada "
                       "por outro programa. Escolha outra mídia e salve de novo; nada foi "
                       "salvo"));
    ADOQuery3.setSql({allMedia});
    for (TField *f :
         {static_cast<TField *>(&ADOQuery3codigo), static_cast<TField *>(&ADOQuery3titulo),
          static_cast<TField *>(&ADOQuery3obs), static_cast<TField *>(&ADOQuery3tipo),
          static_cast<TField *>(&ADOQuery3local)})
        ADOQuery3.addField(f);
    ADOQuery4.setSql({QStringLiteral("SELECT numero, nome, midia, descricao, codigo, titulo"),
                      QStringLiteral("from softs, cds"),
                      QStringLiteral("where midia=1 and codigo=midia")});
    ADOQuery5.setSql({allMedia});
    ADOQuery6.setSql({allMedia});
    ADOQuery7.setSql({QStringLiteral("select * from categorias order by id_categoria")});
    ADOQuery7.addField(&ADOQuery7id_categoria);
    ADOQuery7.addField(&ADOQuery7nome_categoria);
    // A kind a title has is never deleted, nor the one new titles get when none is chosen.
    ADOQuery7.setDeleteGuard(
        QStringLiteral("categorias.id_categoria <> %1 AND NOT EXISTS (SELECT 1 FROM softs WHERE "
                       "softs.categoria = categorias.id_categoria)")
            .arg(Schema::defaultKind));

    connect(&ADOConnection1, &TADOConnection::catalogueChanged, this,
            [this](const QList<CatalogueChange> &changes) { otherProgramsChanged(changes); });

    DataModuleCreate();
}

void TDm1::otherProgramsChanged(const QList<CatalogueChange> &changes)
{
    QSet<TADOQuery *> stale;
    for (const CatalogueChange &change : changes) {
        if (change.table.compare(QLatin1String("cds"), Qt::CaseInsensitive) == 0) {
            // Media are few, and every list of them must offer a new one.
            stale.unite({&ADOQuery1, &ADOQuery3, &ADOQuery5});
        } else if (change.table.compare(QLatin1String("categorias"), Qt::CaseInsensitive) == 0) {
            stale.insert(&ADOQuery7);
        } else if (change.table.compare(QLatin1String("softs"), Qt::CaseInsensitive) == 0 &&
                   ADOQuery2.active() && ADOQuery2.recNo() >= 0) {
            // Titles may be millions: they are read again only when the one shown changed.
            if (!change.key.isValid() ||
                ADOQuery2numero.value().toLongLong() == change.key.toLongLong())
                stale.insert(&ADOQuery2);
        }
    }
    for (TADOQuery *query : std::as_const(stale)) {
        // A record being edited keeps what the user typed; its save meets the conflict
        // question as any save over another program's change.
        if (!query->active() || query->state() != TDataSetState::Browse)
            continue;
        try {
            query->refresh();
        } catch (const Exception &) {
            // The list stays as it was; the user's next action meets the same failure and
            // is told of it.
        }
    }
}

void TDm1::DataModuleCreate()
{
    const QString directory = QDir::currentPath();
    const QString chosen = Catalogue::chosenConnectionString(directory);
    // The file's path is handed over as built, never read back out of the string.
    if (chosen == Catalogue::connectionString(directory))
        ADOConnection1.setConnectionString(chosen, Catalogue::filePath(directory));
    else
        ADOConnection1.setConnectionString(chosen);
    try {
        ADOConnection1.open();
        ADOQuery1.open();
        ADOQuery2.open();
        ADOQuery3.open();
        ADOQuery4.open();
        ADOQuery6.open();
        ADOQuery7.open();
    } catch (const SignInCancelled &) {
        throw; // the user chose to end the program
    } catch (const Exception &e) {
        m_showMessage(e.className() + QStringLiteral("erro gerado, com mensagem: ") + e.message());
    }
}
