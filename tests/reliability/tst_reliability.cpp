// SPDX-License-Identifier: GPL-3.0-or-later
// Kills, a rival copy of the program and damaged files: nothing saved is lost, nothing is
// overwritten unseen, nothing crashes. QUIVEL_LONG_TESTS=1 runs the long versions.
#include "catalogue/catalogue.h"
#include "core/exceptions.h"
#include "data/data_module.h"
#include "tests/support/temp_catalogue.h"

#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>

#include <sqlite3.h>

#include <unistd.h>

namespace {

bool longRun()
{
    return qEnvironmentVariableIntValue("QUIVEL_LONG_TESTS") != 0;
}

QString writerPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/catalogue_writer");
}

QMap<qlonglong, QString> readMedia(const TempCatalogue &cat)
{
    const QString all = cat.scalar(QStringLiteral(
        "select ifnull(group_concat(codigo || '=' || titulo, char(10)), '') from cds"));
    QMap<qlonglong, QString> media;
    for (const QString &line : all.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(u'=');
        media.insert(line.left(eq).toLongLong(), line.mid(eq + 1));
    }
    return media;
}

} // namespace

class TestReliability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedWriterLosesNoSavedChange();
    void rivalCopiesNeverOverwriteUnseen();
    void damagedFilesFailClearlyAndStayUnchanged();
    void folderInPlaceOfTheFileIsRefused();
    void fullDiskRefusesTheSaveAndKeepsWhatWasSaved();
};

void TestReliability::killedWriterLosesNoSavedChange()
{
    TempCatalogue cat;
    const int kills = longRun() ? 1000 : 40;
    QMap<qlonglong, QString> expected;
    int changesChecked = 0;
    auto *random = QRandomGenerator::global();
    for (int kill = 0; kill < kills; ++kill) {
        QProcess writer;
        writer.setWorkingDirectory(cat.directory());
        writer.start(writerPath(), {QStringLiteral("crash"), QString::number(random->generate())});
        QVERIFY(writer.waitForStarted());
        QTest::qWait(int(random->bounded(5, 60)));
        writer.kill();
        QVERIFY(writer.waitForFinished());

        QStringList inFlight;
        for (const QByteArray &raw : writer.readAllStandardOutput().split('\n')) {
            const QStringList words = QString::fromLatin1(raw).split(u' ');
            if (words[0] == u"BEGIN") {
                inFlight = words;
            } else if (words[0] == u"DONE") {
                inFlight.clear();
                ++changesChecked;
                if (words[1] == u"insert" || words[1] == u"edit")
                    expected.insert(words[2].toLongLong(), words[3]);
                else
                    expected.remove(words[2].toLongLong());
            } else {
                QVERIFY2(!words[0].startsWith(u"FAILED"), qPrintable(QString::fromLatin1(raw)));
            }
        }
        QCOMPARE(cat.scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
        const QMap<qlonglong, QString> actual = readMedia(cat);
        if (actual == expected)
            continue;
        // The change under way when the kill came may or may not have reached the file.
        QVERIFY2(!inFlight.isEmpty(), "the file differs from the saved changes");
        QMap<qlonglong, QString> withInFlight = expected;
        if (inFlight[1] == u"insert") {
            for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
                if (it.value() == inFlight[2] && !expected.contains(it.key()))
                    withInFlight.insert(it.key(), it.value());
            }
        } else if (inFlight[1] == u"edit") {
            withInFlight.insert(inFlight[2].toLongLong(), inFlight[3]);
        } else {
            withInFlight.remove(inFlight[2].toLongLong());
        }
        QCOMPARE(actual, withInFlight);
        expected = withInFlight;
    }
    qInfo("%d kills survived, %d acknowledged changes checked, %lld media at the end", kills,
          changesChecked, qlonglong(expected.size()));
}

void TestReliability::rivalCopiesNeverOverwriteUnseen()
{
    TempCatalogue cat;
    for (int i = 1; i <= 6; ++i)
        cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('i%1')").arg(i));
    const int steps = longRun() ? 3000 : 300;
    QProcess first;
    QProcess second;
    int id = 1;
    for (QProcess *p : {&first, &second}) {
        p->setWorkingDirectory(cat.directory());
        p->start(writerPath(), {QStringLiteral("rival"), QString::number(id * 7919),
                                QString::number(steps), QString::number(id)});
        ++id;
    }
    QVERIFY(first.waitForFinished(120000) && second.waitForFinished(120000));
    const QByteArray outputs[] = {first.readAllStandardOutput(), second.readAllStandardOutput()};
    for (const QByteArray &output : outputs)
        QVERIFY2(!output.contains("FAILED"), output.constData());
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);

    // Per row, every acknowledged change must start from the value the previous one left.
    QMap<qlonglong, QMap<QString, QString>> nextValue; // row -> before -> after
    int acknowledged = 0;
    int refused = 0;
    for (const QByteArray &output : outputs) {
        for (const QByteArray &raw : output.split('\n')) {
            const QStringList words = QString::fromUtf8(raw).split(u' ');
            if (words[0] == u"DONE") {
                ++acknowledged;
                const QString after = words[1] == u"edit" ? words[4] : QStringLiteral("<deleted>");
                auto &links = nextValue[words[2].toLongLong()];
                QVERIFY2(
                    !links.contains(words[3]),
                    qPrintable(
                        QStringLiteral("two saves replaced %1 on row %2").arg(words[3], words[2])));
                links.insert(words[3], after);
            } else if (words[0] == u"REFUSED") {
                ++refused;
                QVERIFY2(raw.contains("outro programa") || raw.contains("ocupado"),
                         raw.constData());
            }
        }
    }
    const QMap<qlonglong, QString> actual = readMedia(cat);
    for (qlonglong row = 1; row <= 6; ++row) {
        QString value = QStringLiteral("i%1").arg(row);
        QMap<QString, QString> links = nextValue.value(row);
        while (links.contains(value))
            value = links.take(value);
        QVERIFY2(links.isEmpty(), "an acknowledged save is not part of the row's history");
        if (value == u"<deleted>")
            QVERIFY(!actual.contains(row));
        else
            QVERIFY2(actual.value(row) == value,
                     qPrintable(QStringLiteral("row %1 holds %2, its history ends in %3")
                                    .arg(row)
                                    .arg(actual.value(row), value)));
    }
    qInfo("%d acknowledged changes in one chain per row, %d refused clearly", acknowledged,
          refused);
}

void TestReliability::damagedFilesFailClearlyAndStayUnchanged()
{
    TempCatalogue sample(TempCatalogue::Content::Sample);
    const QByteArray good = sample.fileBytes();
    const int variants = longRun() ? 2000 : 150;
    auto *random = QRandomGenerator::global();
    int refusedCount = 0;
    for (int v = 0; v < variants; ++v) {
        QByteArray damaged = good;
        if (v % 2 == 0) {
            damaged.truncate(random->bounded(qsizetype(0), good.size()));
        } else {
            const int flips = int(random->bounded(1, 32));
            for (int f = 0; f < flips; ++f)
                damaged[random->bounded(qsizetype(0), good.size())] ^=
                    char(1 << random->bounded(8));
        }
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("quivel.mdb")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(damaged);
        file.close();
        QStringList messages;
        {
            CurrentDirectory cd(dir.path());
            TDm1 dm([&](const QString &line) { messages << line; });
            // Read every row of what opened, as the windows would.
            for (TADOQuery *q : {&dm.ADOQuery1, &dm.ADOQuery2}) {
                if (!q->active())
                    continue;
                for (q->first(); !q->eof(); q->next()) {
                    for (int i = 0; i < q->fieldCount(); ++i)
                        q->fieldText(i);
                }
            }
        }
        for (const QString &m : std::as_const(messages)) {
            QVERIFY2(m.startsWith(QStringLiteral("EOleExceptionerro gerado, com mensagem: ")) ||
                         m.startsWith(QStringLiteral("EDatabaseErrorerro gerado")),
                     qPrintable(m));
        }
        refusedCount += messages.isEmpty() ? 0 : 1;
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == damaged, "opening a damaged catalogue changed it");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("quivel.mdb")});
    }
    qInfo("%d damaged files opened, %d refused with a message, none changed", variants,
          refusedCount);
}

void TestReliability::folderInPlaceOfTheFileIsRefused()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("quivel.mdb")));
    CurrentDirectory cd(dir.path());
    QStringList messages;
    TDm1 dm([&](const QString &line) { messages << line; });
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(QStringLiteral("é uma pasta")), qPrintable(messages[0]));
}

void TestReliability::fullDiskRefusesTheSaveAndKeepsWhatWasSaved()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs the superuser");
    QTemporaryDir mountPoint;
    if (QProcess::execute(QStringLiteral("mount"),
                          {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                           QStringLiteral("size=192k"), QStringLiteral("tmpfs"),
                           mountPoint.path()}) != 0) {
        QSKIP("this machine does not allow mounting a small file system");
    }
    const auto unmount =
        qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {mountPoint.path()}); });
    const QString path = mountPoint.filePath(QStringLiteral("quivel.mdb"));
    Catalogue::createEmpty(path);

    QStringList saved;
    QString failure;
    {
        CurrentDirectory cd(mountPoint.path());
        TDm1 dm([&](const QString &line) { failure = line; });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        for (int i = 0; i < 10000 && failure.isEmpty(); ++i) {
            const QString title = QStringLiteral("m%1").arg(i);
            try {
                dm.ADOQuery1.insert();
                dm.ADOQuery1titulo.setAsString(title);
                dm.ADOQuery1obs.setAsString(QString(250, u'x'));
                dm.ADOQuery1.post();
                saved << title;
            } catch (const Exception &e) {
                failure = e.message();
                QCOMPARE(dm.ADOQuery1.state(), TDataSetState::Insert); // the typing is kept
            }
        }
    }
    QVERIFY2(failure.contains(QStringLiteral("Não há espaço em disco")), qPrintable(failure));
    QVERIFY(saved.size() > 10);

    sqlite3 *db = nullptr;
    QCOMPARE(
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr),
        SQLITE_OK);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr);
    QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
    QCOMPARE(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))),
             QStringLiteral("ok"));
    sqlite3_finalize(statement);
    sqlite3_prepare_v2(db, "select count(*) from cds", -1, &statement, nullptr);
    QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
    QCOMPARE(sqlite3_column_int(statement, 0), int(saved.size()));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    qInfo("%lld media saved before the disk was full; the next save was refused",
          qlonglong(saved.size()));
}

QTEST_GUILESS_MAIN(TestReliability)
#include "tst_reliability.moc"
