// SPDX-License-Identifier: GPL-3.0-or-later
// quivel-catalogue: makes catalogue files for a first run, for tests and for benchmarks,
// converts catalogues of the earlier version, upgrades older versions of this one, checks
// catalogues, identifies the software on a medium, exports catalogues to spreadsheets, imports
// titles from them, and backs them up and restores them, on files and on PostgreSQL servers.
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "catalogue/server_accounts.h"
#include "catalogue/server_catalogue.h"
#include "catalogue/upgrade.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/engine/backend.h"
#include "data/engine/postgres/postgres_backend.h"
#include "exchange/catalogue_exchange.h"
#include "exchange/title_import.h"
#include "identify/catalogue_save.h"
#include "identify/identify.h"
#include "tools/legacy/convert.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

// On request (--help) the text goes to standard output and the tool ends well; after a
// mistake it goes to standard error with status 2.
int usage(std::FILE *stream = stderr)
{
    std::fputs(
        "Uso:\n"
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
        "  quivel-catalogue identify CATÁLOGO PASTA|IMAGEM [--midia CÓDIGO |\n"
        "                   --nova-midia NOME --tipo TIPO] [--simular]\n"
        "                                         identifica os softwares de uma mídia\n"
        "                                         (pasta montada ou imagem de disco) e os\n"
        "                                         cadastra numa mídia existente ou nova\n"
        "                                         (sem --midia nem --nova-midia, com o nome\n"
        "                                         e o tipo propostos pela leitura); com\n"
        "                                         --simular, só mostra o que encontrou\n"
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
        "  quivel-catalogue usuario criar NOME --consulta|--edicao SERVIDOR\n"
        "                                         cria uma conta que só consulta o\n"
        "                                         catálogo ou que também o altera; a senha\n"
        "                                         é pedida duas vezes no terminal\n"
        "  quivel-catalogue usuario senha NOME SERVIDOR\n"
        "                                         troca a senha de uma conta\n"
        "  quivel-catalogue usuario remover NOME SERVIDOR\n"
        "                                         remove uma conta do catálogo\n"
        "  quivel-catalogue usuario listar SERVIDOR\n"
        "                                         lista as contas do catálogo\n"
        "  quivel-catalogue --help                mostra esta ajuda\n"
        "  quivel-catalogue --version             mostra a versão\n"
        "Em create, sample, large, check, upgrade, identify, export, import e backup,\n"
        "ARQUIVO e CATÁLOGO podem ser o endereço de um servidor PostgreSQL\n"
        "(postgresql://usuario@servidor/banco ou service=quivel); a senha vem de\n"
        "~/.pgpass, do arquivo de serviços ou de PGPASSWORD. No servidor, upgrade\n"
        "atualiza o catálogo numa só transação.\n",
        stream);
    return stream == stdout ? 0 : 2;
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

int upgradeServer(const QString &conninfo)
{
    const QString name = PostgresBackend::describe(conninfo);
    try {
        const ServerCatalogue::Upgrade result = ServerCatalogue::upgrade(conninfo);
        if (result.mediumKeyAdded) {
            print(stdout, QStringLiteral("O servidor agora recusa títulos em mídias que não "
                                         "existem no catálogo '%1'.")
                              .arg(name));
        }
        if (result.changesAdded) {
            print(stdout, QStringLiteral("O servidor agora registra a conta e a hora da última "
                                         "alteração de cada mídia e título no catálogo '%1'.")
                              .arg(name));
        }
        if (result.fromVersion == result.toVersion) {
            const bool added = result.mediumKeyAdded || result.changesAdded;
            print(stdout, QStringLiteral("O catálogo '%1' já está na versão %2%3.")
                              .arg(name)
                              .arg(result.toVersion)
                              .arg(added ? QString() : QStringLiteral("; nada foi alterado")));
            return 0;
        }
        print(stdout, QStringLiteral("Catálogo '%1' atualizado da versão %2 para a %3.")
                          .arg(name)
                          .arg(result.fromVersion)
                          .arg(result.toVersion));
    } catch (const Exception &e) {
        print(stderr, QStringLiteral("quivel-catalogue: %1.").arg(e.message()));
        print(stderr, QStringLiteral("O catálogo '%1' não foi alterado.").arg(name));
        return 1;
    }
    return 0;
}

int upgrade(const QString &path)
{
    if (Backend::namesServer(path))
        return upgradeServer(path);
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
    const bool server = Backend::namesServer(target);
    const QString path = server ? PostgresBackend::describe(target) : target;
    QStringList problems;
    try {
        problems = Catalogue::check(target);
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

struct IdentifyArguments
{
    QString catalogue;
    QString source;
    int mediumCode = 0;
    QString newName;
    QString newType;
    bool simulate = false;
};

bool parseIdentify(const QStringList &args, IdentifyArguments &out)
{
    if (args.size() < 3)
        return false;
    out.catalogue = args[1];
    out.source = args[2];
    for (qsizetype i = 3; i < args.size(); ++i) {
        const QString &option = args[i];
        if (option == u"--simular") {
            out.simulate = true;
            continue;
        }
        if (i + 1 >= args.size())
            return false;
        const QString &value = args[++i];
        if (option == u"--midia") {
            bool ok = false;
            out.mediumCode = value.toInt(&ok);
            if (!ok || out.mediumCode < 1)
                return false;
        } else if (option == u"--nova-midia") {
            out.newName = value;
        } else if (option == u"--tipo") {
            out.newType = value;
        } else {
            return false;
        }
    }
    // One medium: an existing one, or a new one with its type.
    if (out.mediumCode > 0 && (!out.newName.isEmpty() || !out.newType.isEmpty()))
        return false;
    return out.newName.isEmpty() == out.newType.isEmpty();
}

int identify(const IdentifyArguments &args)
{
    const Identify::Result result = Identify::identify(args.source);
    TADOConnection connection;
    QList<Identify::Title> titles = result.titles;
    Identify::MediumChoice medium{args.mediumCode, args.newName, args.newType};
    if (args.mediumCode == 0 && args.newName.isEmpty())
        medium = {0, result.medium.name, result.medium.type};
    try {
        if (Backend::namesServer(args.catalogue))
            connection.setConnectionString(args.catalogue);
        else
            connection.setConnectionString(QStringLiteral("Data Source=%1;").arg(args.catalogue),
                                           args.catalogue);
        connection.open();
        const QStringList existing =
            medium.code > 0 ? Identify::titlesOnMedium(connection, medium.code) : QStringList();
        print(stdout, QStringLiteral("%1 arquivo(s) lido(s) em '%2'; %3 título(s) proposto(s):")
                          .arg(result.filesSeen)
                          .arg(args.source)
                          .arg(titles.size()));
        for (const Identify::Title &title : titles) {
            const bool held = Identify::holdsName(existing, title.name);
            print(stdout,
                  QStringLiteral("  [%1] %2%3")
                      .arg(QChar(held           ? u'='
                                 : title.ticked ? u'x'
                                                : u' '))
                      .arg(title.name, held ? QStringLiteral(" (já cadastrado)") : QString()));
            print(stdout, QStringLiteral("      %1").arg(title.description));
            print(stdout, QStringLiteral("      motivo: %1").arg(title.reason));
        }
        for (const Identify::Note &note : result.notes)
            print(stdout, QStringLiteral("Aviso: %1: %2").arg(note.file, note.text));
        const QString mediumText =
            medium.code > 0 ? QStringLiteral("mídia %1").arg(medium.code)
                            : QStringLiteral("nova mídia '%1' (%2)").arg(medium.name, medium.type);
        if (args.simulate) {
            print(stdout,
                  QStringLiteral("Simulação: nada foi cadastrado (destino: %1).").arg(mediumText));
            return 0;
        }
        const Identify::Saved saved = Identify::save(connection, medium, titles);
        print(stdout, QStringLiteral("Cadastrado(s) %1 título(s) na mídia %2%3.")
                          .arg(saved.added.size())
                          .arg(saved.mediumCode)
                          .arg(medium.code > 0 ? QString()
                                               : QStringLiteral(" ('%1', nova)").arg(medium.name)));
        if (!saved.alreadyThere.isEmpty())
            print(stdout, QStringLiteral("Já estavam na mídia: %1.")
                              .arg(saved.alreadyThere.join(QStringLiteral(", "))));
    } catch (const Exception &e) {
        print(stderr, QStringLiteral("quivel-catalogue: %1.").arg(e.message()));
        print(stderr, QStringLiteral("Nada foi cadastrado."));
        return 1;
    }
    return 0;
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

// One line of standard input; on a terminal, without showing what is typed.
QByteArray readSecretLine(const char *prompt)
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    char c = 0;
    while (::read(STDIN_FILENO, &c, 1) == 1 && c != '\n')
        line += c;
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    return line;
}

// Twice, so a slip of the finger does not lock the account out; never from the command line.
bool askNewPassword(QByteArray &password)
{
    password = readSecretLine("Nova senha: ");
    QByteArray again = readSecretLine("Repita a senha: ");
    const bool same = password == again;
    again.fill('\0');
    if (!same) {
        password.fill('\0');
        print(stderr, QStringLiteral("quivel-catalogue: as senhas não conferem; nada foi "
                                     "alterado"));
        return false;
    }
    if (password.isEmpty()) {
        print(stderr, QStringLiteral("quivel-catalogue: a senha não pode ser vazia; nada foi "
                                     "alterado"));
        return false;
    }
    return true;
}

// quivel-catalogue usuario ...; -1 when the arguments are not this verb's.
int accountVerb(const QStringList &args)
{
    if (args.value(0) != u"usuario")
        return -1;
    const QString action = args.value(1);
    const QString name = args.value(2);
    try {
        if (action == u"listar" && args.size() == 3) {
            for (const ServerAccounts::Account &a : ServerAccounts::list(args[2])) {
                print(stdout,
                      a.name + u'\t' +
                          (a.right == ServerAccounts::Right::Edit ? QStringLiteral("edição")
                                                                  : QStringLiteral("consulta")));
            }
            return 0;
        }
        if (action == u"remover" && args.size() == 4) {
            ServerAccounts::remove(args[3], name);
            return 0;
        }
        QByteArray password;
        if (action == u"senha" && args.size() == 4) {
            if (!askNewPassword(password))
                return 1;
            ServerAccounts::setPassword(args[3], name, password);
            password.fill('\0');
            return 0;
        }
        if (action == u"criar" && args.size() == 5 &&
            (args[3] == u"--consulta" || args[3] == u"--edicao")) {
            if (!askNewPassword(password))
                return 1;
            ServerAccounts::create(args[4], name,
                                   args[3] == u"--edicao" ? ServerAccounts::Right::Edit
                                                          : ServerAccounts::Right::Consult,
                                   password);
            password.fill('\0');
            return 0;
        }
    } catch (const Exception &e) {
        std::fprintf(stderr, "quivel-catalogue: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return usage();
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
    if (args == QStringList{QStringLiteral("--help")} || args == QStringList{QStringLiteral("-h")})
        return usage(stdout);
    if (args.size() < 2)
        return usage();
    if (const int result = exchangeVerb(args); result >= 0)
        return result;
    if (const int result = accountVerb(args); result >= 0)
        return result;
    const QString &verb = args[0];
    const QString &path = args[1];
    if (verb == u"identify") {
        IdentifyArguments identifyArgs;
        if (!parseIdentify(args, identifyArgs))
            return usage();
        return identify(identifyArgs);
    }
    if (verb == u"convert" && args.size() <= 3)
        return convert(path, args.value(2));
    if (verb == u"check" && args.size() == 2)
        return check(path);
    if (verb == u"upgrade" && args.size() == 2)
        return upgrade(path);
    if (verb == u"clean" && args.size() == 2 && !Backend::namesServer(path))
        return clean(path);
    const bool server = Backend::namesServer(path);
    try {
        if (verb == u"copy" && args.size() == 3) {
            const bool toServer = Backend::namesServer(args[2]);
            if (server == toServer)
                return usage();
            if (toServer) {
                for (const QString &note : ServerCatalogue::copyFromFile(path, args[2]))
                    print(stdout, note + QLatin1Char('.'));
            } else
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
