// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/server_catalogue.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "identify/catalogue_save.h"
#include "identify/identify.h"
#include "identify/untrusted_text.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/test_server.h"
#include "tests/support/unprivileged.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>

using namespace Identify;

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(IDENTIFY_FIXTURES "/") + name;
}

const Title *titleNamed(const Result &result, const QString &name)
{
    for (const Title &t : result.titles) {
        if (t.name == name)
            return &t;
    }
    return nullptr;
}

QStringList names(const Result &result)
{
    QStringList out;
    for (const Title &t : result.titles)
        out << t.name;
    out.sort();
    return out;
}

// Every file under a folder with its access time, read without reading the files.
QMap<QString, qint64> accessTimes(const QString &folder)
{
    QMap<QString, qint64> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st
        {
        };
        ::lstat(QFile::encodeName(path).constData(), &st);
        out.insert(path, qint64(st.st_atim.tv_sec));
    }
    return out;
}

// Every file's bytes' digest; reading them moves their access times.
QMap<QString, QByteArray> digests(const QString &folder)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        f.open(QIODevice::ReadOnly);
        out.insert(f.fileName(), QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256));
    }
    return out;
}

// Sets every file's access time to the year 2000: a plain read brings it up to date, even
// on relatime mounts.
bool ageAccessTimes(const QString &folder)
{
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const timespec times[2] = {{946684800, 0}, {0, UTIME_OMIT}};
        if (::utimensat(AT_FDCWD, QFile::encodeName(it.next()).constData(), times, 0) != 0)
            return false;
    }
    return true;
}

bool copyTree(const QString &from, const QString &to)
{
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), from, to}) == 0;
}

} // namespace

class TestIdentify : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identifiesFile_data();
    void identifiesFile();
    void hostileFileIsSkippedWithNote_data();
    void hostileFileIsSkippedWithNote();
    void groupsOneTitlePerProduct();
    void readsImageWithoutMounting();
    void untrustedText_data();
    void untrustedText();
    void longNamesAreCutVisibly();
    void linksAreNotFollowed();
    void unreadableEntriesAreNoted();
    void eachFileHasATimeBound();
    void mediumIsLeftUntouched();
    void cancelKeepsNothing();
    void progressIsReported();
    void savesMediumAndTitlesInOneTransaction();
    void existingTitlesAreNotAddedTwice();
    void failedSaveLeavesCatalogueAsItWas();
    void toolIdentifiesAndSaves_data();
    void toolIdentifiesAndSaves();
};

void TestIdentify::identifiesFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<Evidence>("evidence");
    QTest::addColumn<bool>("ticked");

    QTest::newRow("program with version resource")
        << "files/setup.exe"
        << "Acme Editor"
        << "Editor de textos Acme; versão 2.5.1; Águia Sistemas Ltda.; arquivo setup.exe"
        << Evidence::ProgramVersion << true;
    QTest::newRow("msi package") << "files/planilha.msi"
                                 << "Planilha Livre"
                                 << "versão 1.0.3; Cooperativa Célula; arquivo planilha.msi"
                                 << Evidence::MsiProperties << true;
    QTest::newRow("debian package")
        << "files/visor-fotos_3.2-1_all.deb"
        << "visor-fotos"
        << "Visualizador de fotos simples; versão 3.2-1; Equipe Visor; arquivo "
           "visor-fotos_3.2-1_all.deb"
        << Evidence::DebianControl << true;
    QTest::newRow("rpm package")
        << "files/editor-grafico-4.1-2.noarch.rpm"
        << "editor-grafico"
        << "Editor de imagens vetoriais; versão 4.1-2; Estúdio Livre; arquivo "
           "editor-grafico-4.1-2.noarch.rpm"
        << Evidence::RpmHeader << true;
    QTest::newRow("desktop launcher, in Portuguese")
        << "files/calculadora.desktop"
        << "Calculadora Científica"
        << "Faz contas com frações; arquivo calculadora.desktop" << Evidence::DesktopEntry << true;
    QTest::newRow("autorun label")
        << "files/autorun.inf"
        << "Acme CD 2024"
        << "inicia Acme Editor/setup.exe; arquivo autorun.inf" << Evidence::Autorun << true;
    QTest::newRow("appimage") << "files/Foto-1.4-x86_64.AppImage"
                              << "Foto"
                              << "versão 1.4; arquivo Foto-1.4-x86_64.AppImage"
                              << Evidence::AppImage << true;
    QTest::newRow("library alone, proposed unticked")
        << "files/acme.dll"
        << "Acme Editor"
        << "Editor de textos Acme; versão 2.5.1; Águia Sistemas Ltda.; arquivo acme.dll"
        << Evidence::LibraryVersion << false;
    QTest::newRow("installer inside a zip")
        << "files/nested.zip"
        << "Planilha Livre"
        << "versão 1.0.3; Cooperativa Célula; arquivo Planilha/planilha.msi"
        << Evidence::MsiProperties << true;
}

void TestIdentify::identifiesFile()
{
    QFETCH(QString, file);
    const Result result = identify(fixture(file));
    QCOMPARE(result.notes.size(), 0);
    QCOMPARE(result.titles.size(), 1);
    const Title &t = result.titles.first();
    QTEST(t.name, "name");
    QTEST(t.description, "description");
    QTEST(t.evidence, "evidence");
    QTEST(t.ticked, "ticked");
    QVERIFY(t.reason.startsWith(evidenceText(t.evidence)));
}

void TestIdentify::hostileFileIsSkippedWithNote_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("note");

    QTest::newRow("truncated program") << "files/truncated.exe"
                                       << "além do fim do arquivo";
    QTest::newRow("resources past the end") << "files/rsrc_past_end.exe"
                                            << "além do fim do arquivo";
    QTest::newRow("text named as a program") << "files/leia.exe"
                                             << "cabeçalho PE ausente";
    QTest::newRow("package cut inside its header") << "files/cortado.rpm"
                                                   << "pacote RPM ilegível";
    QTest::newRow("thousandfold archive") << "files/bomb.zip"
                                          << "bomba de compressão";
}

void TestIdentify::hostileFileIsSkippedWithNote()
{
    QFETCH(QString, file);
    QFETCH(QString, note);
    const Result result = identify(fixture(file));
    QVERIFY(result.titles.isEmpty());
    QCOMPARE(result.notes.size(), 1);
    QVERIFY2(result.notes.first().text.contains(note), qPrintable(result.notes.first().text));
}

void TestIdentify::groupsOneTitlePerProduct()
{
    const Result result = identify(fixture(QStringLiteral("three")));
    QCOMPARE(names(result),
             (QStringList{QStringLiteral("Acme Editor"), QStringLiteral("Planilha Livre"),
                          QStringLiteral("visor-fotos")}));
    const Title *acme = titleNamed(result, QStringLiteral("Acme Editor"));
    QCOMPARE(acme->sourceFile, QStringLiteral("Acme Editor/setup.exe"));
    QStringList files = acme->files;
    files.sort();
    QCOMPARE(files, (QStringList{QStringLiteral("Acme Editor/bin/acme.exe"),
                                 QStringLiteral("Acme Editor/data1.cab"),
                                 QStringLiteral("Acme Editor/setup.exe")}));
    QVERIFY(acme->reason.contains(QStringLiteral("o mesmo produto em 2 arquivos")));
    QVERIFY(acme->reason.contains(QStringLiteral(".cab")));
    for (const Title &t : result.titles)
        QVERIFY(t.ticked);
    QCOMPARE(result.medium.type, QStringLiteral("HD EXTERNO"));
    QCOMPARE(result.medium.name, QStringLiteral("three"));
}

void TestIdentify::readsImageWithoutMounting()
{
    const Result folder = identify(fixture(QStringLiteral("medium")));
    const Result image = identify(fixture(QStringLiteral("medium.iso")));
    const QStringList expected{
        QStringLiteral("Acme Editor"),    QStringLiteral("Calculadora Científica"),
        QStringLiteral("Jogos"),          QStringLiteral("Planilha Livre"),
        QStringLiteral("editor-grafico"), QStringLiteral("visor-fotos")};
    QCOMPARE(names(folder), expected);
    QCOMPARE(names(image), expected);
    QCOMPARE(image.medium.name, QStringLiteral("ACME_2024"));
    QCOMPARE(image.medium.type, QStringLiteral("CD"));
    // The folder of plain programs is the weakest evidence; autorun.inf confirms the
    // installer it starts instead of adding a title.
    QCOMPARE(titleNamed(image, QStringLiteral("Jogos"))->evidence, Evidence::Folder);
    QVERIFY(titleNamed(image, QStringLiteral("Acme Editor"))->reason.contains(u"autorun.inf"));
    QVERIFY(!titleNamed(image, QStringLiteral("Acme CD 2024")));
    // The same hostile files, noted in both.
    QCOMPARE(image.notes.size(), 3);
    QCOMPARE(folder.notes.size(), 3);
}

void TestIdentify::untrustedText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("utf-8") << QByteArray("Ação") << QStringLiteral("Ação");
    QTest::newRow("code page 1252")
        << QByteArray("Edi\xe7\xe3o \x93nova\x94") << QStringLiteral("Edição “nova”");
    QTest::newRow("utf-16 with mark") << QByteArray("\xff\xfe"
                                                    "A\0\xe7\0"
                                                    "a\0",
                                                    8)
                                      << QStringLiteral("Aça");
    QTest::newRow("controls and line breaks")
        << QByteArray("Nome\x07\r\n\tcom\x1b[31m  cores") << QStringLiteral("Nome com[31m cores");
    QTest::newRow("direction override")
        << QByteArray("setup\xe2\x80\xaegpj.exe") << QStringLiteral("setupgpj.exe");
}

void TestIdentify::untrustedText()
{
    QFETCH(QByteArray, bytes);
    QTEST(cleanUntrusted(decodeUntrusted(bytes)), "text");
}

void TestIdentify::longNamesAreCutVisibly()
{
    const CutText fits = cutToSize(QString(32, u'a'), titleNameSize);
    QVERIFY(!fits.cut);
    QCOMPARE(fits.text.size(), 32);
    const CutText cut = cutToSize(QString(33, u'a'), titleNameSize);
    QVERIFY(cut.cut);
    QCOMPARE(cut.text, QString(31, u'a') + u'…');
    // A pair of surrogates is never split.
    const QString emoji = QString(30, u'a') + QString::fromUtf8("\xf0\x9f\x98\x80"
                                                                "bc");
    QCOMPARE(cutToSize(emoji, titleNameSize).text, QString(30, u'a') + u'…');
}

void TestIdentify::linksAreNotFollowed()
{
    QTemporaryDir dir;
    QVERIFY(copyTree(fixture(QStringLiteral("three")), dir.filePath(QStringLiteral("m"))));
    const QString m = dir.filePath(QStringLiteral("m"));
    QVERIFY(QFile::link(m, m + QStringLiteral("/Planilha/loop")));
    QVERIFY(QFile::link(QStringLiteral("self"), m + QStringLiteral("/self")));
    const Result result = identify(m);
    QCOMPARE(result.titles.size(), 3);
    QStringList notes;
    for (const Note &n : result.notes)
        notes << n.file + QStringLiteral(": ") + n.text;
    notes.sort();
    QCOMPARE(notes, (QStringList{QStringLiteral("Planilha/loop: ligação simbólica para uma "
                                                "pasta; não seguida"),
                                 QStringLiteral("self: ligação simbólica em laço; não seguida")}));
}

// Permissions do not bind the superuser: as root, this runs again as "nobody".
void TestIdentify::unreadableEntriesAreNoted()
{
    QUIVEL_RUN_UNPRIVILEGED();
    QTemporaryDir dir;
    const QString m = dir.filePath(QStringLiteral("m"));
    QVERIFY(QDir().mkpath(m + QStringLiteral("/Privada")));
    QFile launcher(m + QStringLiteral("/jogo.desktop"));
    QVERIFY(launcher.open(QIODevice::WriteOnly));
    launcher.write("[Desktop Entry]\nType=Application\nName=Xadrez\n");
    launcher.close();
    QFile package(m + QStringLiteral("/fechado.msi"));
    QVERIFY(package.open(QIODevice::WriteOnly));
    package.close();
    QVERIFY(QFile::setPermissions(m + QStringLiteral("/Privada"), {}));
    QVERIFY(QFile::setPermissions(package.fileName(), {}));
    const Result result = identify(m);
    QVERIFY(QFile::setPermissions(m + QStringLiteral("/Privada"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(names(result), QStringList{QStringLiteral("Xadrez")});
    QStringList notes;
    for (const Note &n : result.notes)
        notes << n.file + QStringLiteral(": ") + n.text;
    notes.sort();
    QCOMPARE(notes,
             (QStringList{QStringLiteral("Privada: pasta ilegível: sem permissão de leitura"),
                          QStringLiteral("fechado.msi: não foi possível abrir: sem permissão de "
                                         "leitura")}));
}

void TestIdentify::eachFileHasATimeBound()
{
    Options options;
    options.millisecondsPerFile = 0;
    const Result result = identify(fixture(QStringLiteral("three")), options);
    // No installer read, so only their folders remain, as the weakest evidence.
    QCOMPARE(names(result), (QStringList{QStringLiteral("Acme Editor"), QStringLiteral("Planilha"),
                                         QStringLiteral("linux")}));
    for (const Title &t : result.titles)
        QCOMPARE(t.evidence, Evidence::Folder);
    QCOMPARE(result.notes.size(), 4); // setup.exe, bin/acme.exe, the .msi and the .deb
    for (const Note &n : result.notes)
        QCOMPARE(n.text, QStringLiteral("a leitura passou do tempo limite"));
}

void TestIdentify::mediumIsLeftUntouched()
{
    QTemporaryDir dir;
    const QString m = dir.filePath(QStringLiteral("m"));
    QVERIFY(copyTree(fixture(QStringLiteral("medium")), m));
    const auto bytes = digests(m);
    QVERIFY(ageAccessTimes(m));
    const auto times = accessTimes(m);
    QVERIFY(times.size() >= 12);
    const Result result = identify(m);
    QCOMPARE(result.titles.size(), 6);
    QCOMPARE(accessTimes(m), times);
    QCOMPARE(digests(m), bytes);
}

void TestIdentify::cancelKeepsNothing()
{
    int asked = 0;
    Options options;
    options.cancelled = [&asked] { return ++asked > 3; };
    const Result result = identify(fixture(QStringLiteral("medium")), options);
    QVERIFY(result.cancelled);
    QVERIFY(result.titles.isEmpty());
    QVERIFY(asked > 3);
}

void TestIdentify::progressIsReported()
{
    QList<Progress> reports;
    Options options;
    options.progress = [&reports](const Progress &p) { reports << p; };
    const Result result = identify(fixture(QStringLiteral("medium")), options);
    QVERIFY(!reports.isEmpty());
    QVERIFY(reports.last().filesSeen <= result.filesSeen);
    QVERIFY(result.filesSeen >= 18);
}

void TestIdentify::savesMediumAndTitlesInOneTransaction()
{
    TempCatalogue catalogue;
    TADOConnection connection;
    connection.setConnectionString(QStringLiteral("Data Source=x;"), catalogue.path());
    connection.open();
    const Result result = identify(fixture(QStringLiteral("three")));
    const Saved saved =
        save(connection, {0, QStringLiteral("Disco Acme"), QStringLiteral("CD")}, result.titles);
    QCOMPARE(saved.added.size(), 3);
    QCOMPARE(catalogue.scalar(QStringLiteral("SELECT titulo || '/' || tipo FROM cds WHERE "
                                             "codigo = %1")
                                  .arg(saved.mediumCode)),
             QStringLiteral("Disco Acme/CD"));
    QCOMPARE(
        catalogue.scalar(
            QStringLiteral("SELECT count(*) FROM softs WHERE midia = %1").arg(saved.mediumCode)),
        QStringLiteral("3"));
    QCOMPARE(catalogue.scalar(QStringLiteral("SELECT descricao FROM softs WHERE nome = "
                                             "'visor-fotos'")),
             QStringLiteral("Visualizador de fotos simples; versão 3.2-1; Equipe Visor; arquivo "
                            "linux/visor-fotos_3.2-1_all.deb"));
}

void TestIdentify::existingTitlesAreNotAddedTwice()
{
    TempCatalogue catalogue;
    catalogue.exec(QStringLiteral("INSERT INTO cds (titulo, tipo) VALUES ('Velho', 'DVD');"
                                  "INSERT INTO softs (nome, descricao, midia) VALUES "
                                  "('planilha livre', 'já estava', 1);"));
    TADOConnection connection;
    connection.setConnectionString(QStringLiteral("Data Source=x;"), catalogue.path());
    connection.open();
    QList<Title> titles = identify(fixture(QStringLiteral("three"))).titles;
    QVERIFY(holdsName(titlesOnMedium(connection, 1), QStringLiteral("Planilha Livre")));
    for (Title &t : titles)
        t.ticked = t.name != u"visor-fotos";
    const Saved saved = save(connection, {1, {}, {}}, titles);
    QCOMPARE(saved.added, QStringList{QStringLiteral("Acme Editor")});
    QCOMPARE(saved.alreadyThere, QStringList{QStringLiteral("Planilha Livre")});
    QCOMPARE(catalogue.scalar(QStringLiteral("SELECT group_concat(nome, ',') FROM softs")),
             QStringLiteral("planilha livre,Acme Editor"));
    QCOMPARE(catalogue.scalar(QStringLiteral("SELECT count(*) FROM cds")), QStringLiteral("1"));
}

void TestIdentify::failedSaveLeavesCatalogueAsItWas()
{
    TempCatalogue catalogue;
    // The third title is refused by the catalogue itself.
    catalogue.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON softs WHEN "
                                  "NEW.nome = 'visor-fotos' BEGIN SELECT RAISE(ABORT, "
                                  "'recusado'); END;"));
    TADOConnection connection;
    connection.setConnectionString(QStringLiteral("Data Source=x;"), catalogue.path());
    connection.open();
    const QList<Title> titles = identify(fixture(QStringLiteral("three"))).titles;
    QVERIFY_THROWS_EXCEPTION(
        Exception, save(connection, {0, QStringLiteral("Novo"), QStringLiteral("CD")}, titles));
    QCOMPARE(catalogue.scalar(QStringLiteral("SELECT count(*) FROM cds")), QStringLiteral("0"));
    QCOMPARE(catalogue.scalar(QStringLiteral("SELECT count(*) FROM softs")), QStringLiteral("0"));
    // The connection is usable afterwards: no transaction left open.
    QList<Title> one = titles.mid(0, 1);
    QCOMPARE(save(connection, {0, QStringLiteral("Novo"), QStringLiteral("CD")}, one).added.size(),
             1);
}

void TestIdentify::toolIdentifiesAndSaves_data()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("file catalogue") << false;
    QTest::newRow("server catalogue") << true;
}

// The catalogue tool's verb, on a file and on a server: a simulation saves nothing, a save
// makes the medium and its titles, and a second reading of the same medium adds none again.
void TestIdentify::toolIdentifiesAndSaves()
{
    QFETCH(bool, server);
    std::unique_ptr<TestServer> postgres;
    TempCatalogue file;
    QString catalogue = file.path();
    std::function<QString(const QString &)> scalar = [&file](const QString &sql) {
        return file.scalar(sql);
    };
    if (server) {
        postgres = std::make_unique<TestServer>();
        QUIVEL_REQUIRE_SERVER(*postgres);
        catalogue = postgres->createDatabase(QStringLiteral("identify"));
        ServerCatalogue::create(catalogue);
        scalar = [&postgres](const QString &sql) {
            return postgres->scalar(QStringLiteral("identify"), sql);
        };
    }
    const QString tool = QCoreApplication::applicationDirPath() +
                         QStringLiteral("/../../tools/catalogue/quivel-catalogue");
    const auto run = [&](const QStringList &options, QString *output) {
        QProcess process;
        process.start(tool, QStringList{QStringLiteral("identify"), catalogue,
                                        fixture(QStringLiteral("three"))} +
                                options);
        process.waitForFinished(60000);
        *output = QString::fromLocal8Bit(process.readAllStandardOutput() +
                                         process.readAllStandardError());
        return process.exitCode();
    };
    QString output;
    QCOMPARE(run({QStringLiteral("--simular")}, &output), 0);
    QVERIFY2(output.contains(QStringLiteral("3 título(s) proposto(s)")), qPrintable(output));
    QVERIFY(output.contains(QStringLiteral("[x] Acme Editor")));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM cds")), QStringLiteral("0"));

    QCOMPARE(run({QStringLiteral("--nova-midia"), QStringLiteral("Disco Acme"),
                  QStringLiteral("--tipo"), QStringLiteral("DVD")},
                 &output),
             0);
    QVERIFY2(output.contains(QStringLiteral("Cadastrado(s) 3 título(s)")), qPrintable(output));
    QCOMPARE(scalar(QStringLiteral("SELECT titulo || '/' || tipo FROM cds")),
             QStringLiteral("Disco Acme/DVD"));
    const QString code = scalar(QStringLiteral("SELECT codigo FROM cds"));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM softs WHERE midia = %1").arg(code)),
             QStringLiteral("3"));

    QCOMPARE(run({QStringLiteral("--midia"), code}, &output), 0);
    QVERIFY2(output.contains(QStringLiteral("[=] Planilha Livre (já cadastrado)")),
             qPrintable(output));
    QVERIFY(output.contains(QStringLiteral("Cadastrado(s) 0 título(s)")));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM softs")), QStringLiteral("3"));

    // A medium that does not exist: an error, and nothing saved.
    QCOMPARE(run({QStringLiteral("--midia"), QStringLiteral("999")}, &output), 1);
    QVERIFY2(output.contains(QStringLiteral("Nada foi cadastrado")), qPrintable(output));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM softs")), QStringLiteral("3"));
}

QTEST_GUILESS_MAIN(TestIdentify)
#include "tst_identify.moc"
