// SPDX-License-Identifier: GPL-3.0-or-later
// quivel-catalogue: makes catalogue files for a first run, for tests and for benchmarks,
// converts catalogues of the earlier version, upgrades older versions of this one, checks
// catalogues, exports them to spreadsheets, imports titles from them, and backs them up and
// restores them, on files and on PostgreSQL servers.
#include "data/catalogue.h"
#include "data/connection.h"
#include "data/exceptions.h"
#include "data/postgres_backend.h"
#include "data/server_catalogue.h"
#include "exchange/catalogue_exchange.h"
#include "exchange/title_import.h"
#include "tools/legacy/catalogue_check.h"
#include "tools/legacy/convert.h"
#include "tools/legacy/upgrade.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

int usage()
{
    std::fputs("Uso:\n"
               "  quivel-catalogue create ARQUIVO        cria um catálogo vazio\n"
               "  quivel-catalogue sample ARQUIVO        cria um catálogo com dados de exemplo\n"
               "  quivel-catalogue large ARQUIVO MÍDIAS TÍTULOS\n"
               "                                         cria um catálogo grande para medições\n"
               "  quivel-catalogue convert ARQUIVO [DESTINO]\n"
               "                                         converte um catálogo da versão anterior\n"
               "                                         (Access/Jet); sem DESTINO, converte no\n"
               "                                         lugar e guarda o original como\n"
               "                                         ARQUIVO.jet-original\n"
               "  quivel-catalogue check ARQUIVO         verifica um catálogo sem alterá-lo\n"
               "  quivel-catalogue upgrade ARQUIVO       atualiza um catálogo de uma versão\n"
               "                                         anterior desta; guarda o original como\n"
               "                                         ARQUIVO.vN-original\n"
               "  quivel-catalogue copy ORIGEM DESTINO   copia um catálogo inteiro de um arquivo\n"
               "                                         para um servidor ou de um servidor para\n"
               "                                         um arquivo, numa só transação\n"
               "  quivel-catalogue export CATÁLOGO ARQUIVO [--virgula]\n"
               "                                         exporta o catálogo inteiro para .xlsx,\n"
               "                                         .ods, .csv (separado por ';', ou ','\n"
               "                                         com --virgula) ou .html, pela extensão\n"
               "  quivel-catalogue import CATÁLOGO ARQUIVO [--simular] [--criar-midias]\n"
               "                                  [--validas]\n"
               "                                         importa títulos de .xlsx, .ods ou .csv\n"
               "                                         com uma linha de títulos (Nome,\n"
               "                                         Descrição, Mídia, Tipo); lista as linhas\n"
               "                                         que não podem entrar e, havendo alguma,\n"
               "                                         não grava nada (--validas grava as\n"
               "                                         outras); --simular só verifica;\n"
               "                                         --criar-midias cria as mídias que faltam\n"
               "  quivel-catalogue backup CATÁLOGO DESTINO\n"
               "                                         faz uma cópia de segurança verificada,\n"
               "                                         mesmo com o programa aberto\n"
               "  quivel-catalogue restore CÓPIA CATÁLOGO\n"
               "                                         restaura uma cópia no lugar do catálogo\n"
               "                                         (em arquivo), guardando antes o atual ao\n"
               "                                         lado dele\n"
               "Em create, sample, large, check, export, import e backup, ARQUIVO e CATÁLOGO\n"
               "podem ser o endereço de um servidor PostgreSQL (postgresql://usuario@servidor/\n"
               "banco ou service=quivel); a senha vem de ~/.pgpass, do arquivo de serviços ou de\n"
               "PGPASSWORD.\n",
               stderr);
    return 2;
}

void print(std::FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
}

int convert(const QString &source, const QString &destination)
{
    try {
        const Legacy::ConversionResult result = Legacy::convertJetCatalogue(source, destination);
        print(stdout, QStringLiteral("Catálogo convertido: %1 mídias e %2 títulos em '%3'.")
                          .arg(result.mediaCount)
                          .arg(result.titleCount)
                          .arg(result.catalogue));
        if (!result.backup.isEmpty())
            print(stdout, QStringLiteral("O original foi guardado em '%1'.").arg(result.backup));
    } catch (const Exception &e) {
        print(stderr, QStringLiteral("quivel-catalogue: %1.").arg(e.message()));
        print(stderr, QStringLiteral("O arquivo '%1' não foi alterado.").arg(source));
        return 1;
    }
    return 0;
}

int upgrade(const QString &path)
{
    try {
        const Legacy::UpgradeResult result = Legacy::upgradeCatalogue(path);
        if (result.backup.isEmpty()) {
            print(stdout, QStringLiteral("O catálogo '%1' já está na versão %2; nada foi alterado.")
                              .arg(path)
                              .arg(result.toVersion));
            return 0;
        }
        print(stdout, QStringLiteral("Catálogo '%1' atualizado da versão %2 para a %3.")
                          .arg(path)
                          .arg(result.fromVersion)
                          .arg(result.toVersion));
        print(stdout, QStringLiteral("O original foi guardado em '%1'.").arg(result.backup));
    } catch (const Exception &e) {
        print(stderr, QStringLiteral("quivel-catalogue: %1.").arg(e.message()));
        print(stderr, QStringLiteral("O arquivo '%1' não foi alterado.").arg(path));
        return 1;
    }
    return 0;
}

int check(const QString &target)
{
    const bool server = PostgresBackend::isServerString(target);
    const QString path = server ? PostgresBackend::describe(target) : target;
    QStringList problems;
    try {
        problems = server ? ServerCatalogue::check(target) : Legacy::checkCatalogue(target);
    } catch (const Exception &e) {
        problems.append(e.message());
    }
    for (const QString &problem : problems)
        print(stdout, problem + QLatin1Char('.'));
    if (problems.isEmpty()) {
        print(stdout, QStringLiteral("Nenhum problema encontrado em '%1'.").arg(path));
        return 0;
    }
    print(stdout, QStringLiteral("%1 problema(s) encontrado(s) em '%2'; nada foi alterado.")
                      .arg(problems.size())
                      .arg(path));
    return 1;
}

int exportVerb(const QString &catalogue, const QString &file, bool comma)
{
    TADOConnection connection;
    Exchange::openCatalogue(connection, catalogue);
    Exchange::WriteOptions options;
    options.separator = comma ? ',' : ';';
    Exchange::exportCatalogue(connection, file, options);
    print(stdout, QStringLiteral("Catálogo exportado para '%1'.").arg(file));
    return 0;
}

int importVerb(const QString &catalogue, const QString &file, bool simulate, bool createMedia,
               bool validOnly)
{
    const Exchange::TitleImport import(file);
    Exchange::ImportMapping mapping = import.guessMapping();
    mapping.createMedia = createMedia;
    if (!import.details().isEmpty())
        print(stdout, QStringLiteral("Arquivo lido como %1.").arg(import.details()));
    TADOConnection connection;
    Exchange::openCatalogue(connection, catalogue);
    const Exchange::ImportPlan plan = import.plan(connection.backend(), mapping);
    for (const QString &line : Exchange::describePlan(plan))
        print(stdout, line);
    if (simulate) {
        print(stdout, QStringLiteral("Simulação: nada foi gravado."));
        return plan.problems.empty() ? 0 : 1;
    }
    if (!plan.problems.empty() && !validOnly) {
        print(stdout, QStringLiteral("Nada foi gravado: corrija as linhas acima, ou importe só as "
                                     "linhas válidas com --validas."));
        return 1;
    }
    Exchange::applyImport(connection, plan);
    print(stdout, QStringLiteral("Importação concluída: %1 título(s) e %2 mídia(s) gravados.")
                      .arg(plan.titles.size())
                      .arg(plan.newMedia.size()));
    return 0;
}

int backupVerb(const QString &catalogue, const QString &destination)
{
    const Exchange::BackupResult result = Exchange::backupCatalogue(catalogue, destination);
    print(stdout, QStringLiteral("Cópia de segurança verificada em '%1': %2 mídias e %3 títulos.")
                      .arg(result.path)
                      .arg(result.media)
                      .arg(result.titles));
    return 0;
}

int restoreVerb(const QString &backup, const QString &catalogue)
{
    const Exchange::BackupResult result = Exchange::restoreCatalogue(backup, catalogue);
    print(stdout, QStringLiteral("Catálogo restaurado: %1 mídias e %2 títulos.")
                      .arg(result.media)
                      .arg(result.titles));
    print(stdout, QStringLiteral("O catálogo anterior foi guardado em '%1'.").arg(result.path));
    return 0;
}

// The exchange verbs; -1 when the arguments are none of them.
int exchangeVerb(const QStringList &args)
{
    const QString &verb = args[0];
    QStringList plain;
    QStringList flags;
    for (const QString &a : args.mid(1))
        (a.startsWith(QLatin1String("--")) ? flags : plain).append(a);
    const auto only = [&flags](std::initializer_list<const char *> allowed) {
        for (const QString &f : flags) {
            bool known = false;
            for (const char *a : allowed)
                known = known || f == QLatin1String(a);
            if (!known)
                return false;
        }
        return true;
    };
    try {
        if (verb == u"export" && plain.size() == 2 && only({"--virgula"}))
            return exportVerb(plain[0], plain[1], flags.contains(QStringLiteral("--virgula")));
        if (verb == u"import" && plain.size() == 2 &&
            only({"--simular", "--criar-midias", "--validas"}))
            return importVerb(plain[0], plain[1], flags.contains(QStringLiteral("--simular")),
                              flags.contains(QStringLiteral("--criar-midias")),
                              flags.contains(QStringLiteral("--validas")));
        if (verb == u"backup" && plain.size() == 2 && flags.isEmpty())
            return backupVerb(plain[0], plain[1]);
        if (verb == u"restore" && plain.size() == 2 && flags.isEmpty())
            return restoreVerb(plain[0], plain[1]);
    } catch (const Exception &e) {
        print(stderr, QStringLiteral("quivel-catalogue: %1.").arg(e.message()));
        return 1;
    } catch (const Exchange::ExchangeError &e) {
        print(stderr, QStringLiteral("quivel-catalogue: %1.").arg(e.message()));
        return 1;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args == QStringList{QStringLiteral("--version")}) {
        print(stdout, QStringLiteral("quivel-catalogue " QUIVEL_VERSION));
        return 0;
    }
    if (args.size() < 2)
        return usage();
    if (const int result = exchangeVerb(args); result >= 0)
        return result;
    const QString &verb = args[0];
    const QString &path = args[1];
    if (verb == u"convert" && args.size() <= 3)
        return convert(path, args.value(2));
    if (verb == u"check" && args.size() == 2)
        return check(path);
    if (verb == u"upgrade" && args.size() == 2)
        return upgrade(path);
    const bool server = PostgresBackend::isServerString(path);
    try {
        if (verb == u"copy" && args.size() == 3) {
            const bool toServer = PostgresBackend::isServerString(args[2]);
            if (server == toServer)
                return usage();
            if (toServer)
                ServerCatalogue::copyFromFile(path, args[2]);
            else
                ServerCatalogue::copyToFile(path, args[2]);
        } else if (server && verb == u"create" && args.size() == 2) {
            ServerCatalogue::create(path);
        } else if (server && verb == u"sample" && args.size() == 2) {
            ServerCatalogue::createSample(path);
        } else if (server && verb == u"large" && args.size() == 4) {
            bool mediaOk = false;
            bool titlesOk = false;
            const int media = args[2].toInt(&mediaOk);
            const int titles = args[3].toInt(&titlesOk);
            if (!mediaOk || !titlesOk || media < 1 || titles < 0)
                return usage();
            ServerCatalogue::createLarge(path, media, titles);
        } else if (verb == u"create" && args.size() == 2) {
            Catalogue::createEmpty(path);
        } else if (verb == u"sample" && args.size() == 2) {
            Catalogue::createSample(path);
        } else if (verb == u"large" && args.size() == 4) {
            bool mediaOk = false;
            bool titlesOk = false;
            const int media = args[2].toInt(&mediaOk);
            const int titles = args[3].toInt(&titlesOk);
            if (!mediaOk || !titlesOk || media < 1 || titles < 0)
                return usage();
            Catalogue::createLarge(path, media, titles);
        } else {
            return usage();
        }
    } catch (const Exception &e) {
        std::fprintf(stderr, "quivel-catalogue: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
