// SPDX-License-Identifier: GPL-3.0-or-later
// quivel-catalogue: makes catalogue files for a first run, for tests and for benchmarks,
// converts catalogues of the earlier version, upgrades older versions of this one and checks
// catalogues, on files and on PostgreSQL servers.
#include "data/catalogue.h"
#include "data/exceptions.h"
#include "data/postgres_backend.h"
#include "data/server_catalogue.h"
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
               "  quivel-catalogue clean ARQUIVO         remove os gatilhos, visões e índices\n"
               "                                         calculados que o Quivel não criou e que\n"
               "                                         o impedem de gravar; guarda o original\n"
               "                                         como ARQUIVO.antes-da-limpeza\n"
               "  quivel-catalogue upgrade ARQUIVO       atualiza um catálogo de uma versão\n"
               "                                         anterior desta; guarda o original como\n"
               "                                         ARQUIVO.vN-original\n"
               "  quivel-catalogue copy ORIGEM DESTINO   copia um catálogo inteiro de um arquivo\n"
               "                                         para um servidor ou de um servidor para\n"
               "                                         um arquivo, numa só transação\n"
               "Em create, sample, large e check, ARQUIVO pode ser o endereço de um servidor\n"
               "PostgreSQL (postgresql://usuario@servidor/banco ou service=quivel); a senha vem\n"
               "de ~/.pgpass, do arquivo de serviços ou de PGPASSWORD.\n",
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
        if (!result.warnings.isEmpty())
            print(stdout, QStringLiteral("Aviso: %1.").arg(result.warnings));
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

int clean(const QString &path)
{
    try {
        const Legacy::CleanResult result = Legacy::cleanCatalogue(path);
        if (result.backup.isEmpty()) {
            print(stdout,
                  QStringLiteral("O catálogo '%1' não tem nada a remover; nada foi alterado.")
                      .arg(path));
        } else {
            for (const QString &line : result.removed)
                print(stdout, QStringLiteral("Removido: %1.").arg(line));
            print(stdout, QStringLiteral("O original foi guardado em '%1'.").arg(result.backup));
        }
        // What no removal mends is said, and the run counts as failed.
        for (const QString &line : result.kept)
            print(stdout, QStringLiteral("Não removido: %1.").arg(line));
        if (!result.kept.isEmpty())
            return 1;
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
    const QString &verb = args[0];
    const QString &path = args[1];
    if (verb == u"convert" && args.size() <= 3)
        return convert(path, args.value(2));
    if (verb == u"check" && args.size() == 2)
        return check(path);
    if (verb == u"upgrade" && args.size() == 2)
        return upgrade(path);
    if (verb == u"clean" && args.size() == 2 && !PostgresBackend::isServerString(path))
        return clean(path);
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
