// SPDX-License-Identifier: GPL-3.0-or-later
// quivel-start: what the menu entry runs. The program opens the catalogue in its current
// folder, so this gives the user a folder of their own, makes an empty catalogue there on the
// first start, carries a catalogue of the earlier version over (or upgrades one of an older
// schema), and then becomes the program.
#include "catalogue/catalogue.h"
#include "catalogue/upgrade.h"
#include "core/exceptions.h"
#include "data/engine/backend.h"
#include "resources/picture_resources.h"
#include "tools/legacy/convert.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QString version = QStringLiteral(QUIVEL_VERSION);

QString catalogueFolder()
{
    const QString chosen = qEnvironmentVariable("QUIVEL_HOME");
    if (!chosen.isEmpty())
        return chosen;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/quivel");
}

// The program's own rule for the files it reads: only a regular file, opened without
// blocking (a FIFO would hold the open for ever) and read for a bounded number of bytes (a
// device would never end). Returns what was read, or nothing when the file is missing; a file
// that is there but no regular file sets `problem`.
QByteArray readStart(const QString &path, qsizetype bytes, QString *problem = nullptr)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info;
    QByteArray data;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        data.resize(bytes);
        qsizetype got = 0;
        while (got < bytes) {
            const ssize_t count = ::read(fd, data.data() + got, size_t(bytes - got));
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                break;
            got += count;
        }
        data.truncate(got);
    } else if (problem) {
        *problem = S_ISDIR(info.st_mode)
                       ? QStringLiteral("'%1' é uma pasta, não um arquivo").arg(path)
                       : QStringLiteral("'%1' não é um arquivo comum (é um dispositivo, um FIFO "
                                        "ou um soquete)")
                             .arg(path);
    }
    ::close(fd);
    return data;
}

bool somethingAt(const QString &path);

struct ServerSetting
{
    QString address;
    QString problem; // a settings file that exists but names no usable server
};

// A catalogue on a server, set once for the user in $XDG_CONFIG_HOME/quivel/servidor, unless
// QUIVEL_DATABASE already names one. The file holds one address; blank lines and lines that
// start with '#' are left out. Passwords stay in libpq's own files, never here.
ServerSetting serverSetting()
{
    const QString chosen = qEnvironmentVariable("QUIVEL_DATABASE").trimmed();
    if (!chosen.isEmpty())
        return {chosen, {}};
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/quivel/servidor");
    if (!somethingAt(path))
        return {};
    // Something there that is no regular file (a FIFO, a device) is passed over, as the
    // launcher always has: it must never hold the start.
    QString special;
    const QByteArray text = readStart(path, 64 * 1024, &special);
    if (!special.isEmpty())
        return {};
    QStringList addresses;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (!line.isEmpty() && !line.startsWith(u'#'))
            addresses << line;
    }
    const QString rules = QStringLiteral("\n\nEscreva nele uma única linha com o endereço do "
                                         "servidor, por exemplo:\n"
                                         "host=servidor.escritorio dbname=quivel\n"
                                         "ou apague o arquivo para usar um catálogo neste "
                                         "computador. O Quivel não foi iniciado.");
    if (addresses.isEmpty()) {
        return {{},
                QStringLiteral("O arquivo '%1' não indica nenhum servidor do catálogo.").arg(path) +
                    rules};
    }
    if (addresses.size() > 1) {
        return {{},
                QStringLiteral("O arquivo '%1' indica mais de um servidor do catálogo.").arg(path) +
                    rules};
    }
    if (!Backend::namesServer(addresses.first())) {
        return {{},
                QStringLiteral("O arquivo '%1' não contém um endereço de servidor válido ('%2').")
                        .arg(path, addresses.first()) +
                    rules};
    }
    return {addresses.first(), {}};
}

// Anything at the path counts, a dangling link included: it is never written over.
bool somethingAt(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

bool isJetFile(const QString &path)
{
    const QByteArray signature = readStart(path, 19).mid(4);
    return signature == "Standard Jet DB" || signature == "Standard ACE DB";
}

// The user may have no terminal, so whatever they must know goes into a window too.
void tell(QMessageBox::Icon icon, const QString &text)
{
    std::fprintf(stderr, "quivel-start: %s\n", text.toLocal8Bit().constData());
    int argc = 1;
    char name[] = "quivel-start";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(QUIVEL_APP_ID));
    QMessageBox box(icon, QStringLiteral("Quivel"), text, QMessageBox::Ok);
    initQuivelResources();
    box.setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));
    box.exec();
}

// Returns what the user should be told, or an empty string.
QString prepareCatalogue(const QString &path)
{
    if (!somethingAt(path)) {
        try {
            Catalogue::createEmpty(path);
        } catch (const Exception &) {
            // Another start may have made it meanwhile; it is linked in whole, so it is usable.
            if (!somethingAt(path))
                throw;
        }
        return {};
    }
    if (!isJetFile(path))
        return Legacy::upgradeForUser(path);
    const Legacy::ConversionResult result = Legacy::convertJetCatalogue(path, QString());
    return QStringLiteral("O catálogo '%1' estava no formato da versão anterior (Access/Jet) e "
                          "foi convertido para esta versão: %2 mídias e %3 títulos.\n\n"
                          "O arquivo original foi guardado, sem alterações, em '%4'.")
        .arg(result.catalogue)
        .arg(result.mediaCount)
        .arg(result.titleCount)
        .arg(result.backup);
}

// The About window reads the version from here; it is rewritten only when it names another
// version, so a start changes nothing once the folder is set up.
QString writeConfig(const QString &path)
{
    QString problem;
    const QByteArray current = readStart(path, 256, &problem);
    // Something else the user put there is never replaced.
    if (!problem.isEmpty())
        return QStringLiteral("%1; a versão não foi gravada nele, e a janela Sobre não poderá "
                              "mostrá-la.")
            .arg(problem);
    if (current.left(current.indexOf('\n')).trimmed() == version.toUtf8())
        return {};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(version.toUtf8() + '\n') < 0 ||
        !file.commit()) {
        return QStringLiteral("Não foi possível gravar a versão em '%1' (%2); a janela Sobre "
                              "não poderá mostrá-la.")
            .arg(path, file.errorString());
    }
    return {};
}

void usage()
{
    std::fputs("Uso:\n"
               "  quivel-start             entra na pasta de catálogo do usuário, preparando-a\n"
               "                           se preciso, e inicia o Quivel nela\n"
               "  quivel-start --help      mostra esta ajuda\n"
               "  quivel-start --version   mostra a versão\n"
               "A pasta é $QUIVEL_HOME, senão $XDG_DATA_HOME/quivel, senão\n"
               "~/.local/share/quivel. Um catálogo num servidor PostgreSQL vem de\n"
               "QUIVEL_DATABASE ou do arquivo $XDG_CONFIG_HOME/quivel/servidor (uma linha\n"
               "com o endereço; linhas em branco e linhas iniciadas por # são ignoradas).\n",
               stdout);
}

QString programPath()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + QStringLiteral("/quivel");
}

} // namespace

int main(int argc, char **argv)
{
    // Asked from a terminal: answered there, and the program is not started.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quivel-start %s\n", QUIVEL_VERSION);
        return 0;
    }
    const QString folder = catalogueFolder();
    if (!QDir().mkpath(folder)) {
        tell(QMessageBox::Critical,
             QStringLiteral("Não foi possível criar a pasta do catálogo '%1'.").arg(folder));
        return 1;
    }
    const QString catalogue = folder + QLatin1Char('/') + Catalogue::fileName();
    const ServerSetting setting = serverSetting();
    // A settings file that names no server is never taken for "use a file here": the user
    // would work on a private catalogue believing it is the shared one.
    if (!setting.problem.isEmpty()) {
        tell(QMessageBox::Critical, setting.problem);
        return 1;
    }
    const QString server = setting.address;
    QStringList notices;
    try {
        // A catalogue on a server leaves the folder's file alone: the program opens the server.
        if (server.isEmpty())
            notices << prepareCatalogue(catalogue);
        else
            qputenv("QUIVEL_DATABASE", server.toUtf8());
    } catch (const Exception &e) {
        tell(QMessageBox::Critical,
             QStringLiteral("Não foi possível preparar o catálogo '%1': %2.\n\nO Quivel não foi "
                            "iniciado e nenhum arquivo foi alterado.")
                 .arg(catalogue, e.message()));
        return 1;
    }
    notices << writeConfig(folder + QStringLiteral("/config.cfg"));
    notices.removeAll(QString());
    if (!notices.isEmpty())
        tell(QMessageBox::Information, notices.join(QStringLiteral("\n\n")));

    if (!QDir::setCurrent(folder)) {
        tell(QMessageBox::Critical,
             QStringLiteral("Não foi possível entrar na pasta do catálogo '%1'.").arg(folder));
        return 1;
    }
    const QByteArray program = QFile::encodeName(programPath());
    std::vector<char *> args{const_cast<char *>(program.constData())};
    args.insert(args.end(), argv + 1, argv + argc);
    args.push_back(nullptr);
    ::execv(program.constData(), args.data());
    const int error = errno;
    tell(QMessageBox::Critical,
         QStringLiteral("Não foi possível iniciar o Quivel ('%1'): %2.")
             .arg(QString::fromLocal8Bit(program), QString::fromLocal8Bit(std::strerror(error))));
    return 1;
}
