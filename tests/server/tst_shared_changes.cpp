// SPDX-License-Identifier: GPL-3.0-or-later
// Two programs on one server catalogue: what one saves, the other's lists and shown records
// follow by themselves, and a record being edited keeps what the user typed.
#include "catalogue/server_catalogue.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/test_server.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A program's data module on the catalogue the address names.
std::unique_ptr<TDm1> program(const QString &uri, QStringList &messages)
{
    qputenv("QUIVEL_DATABASE", uri.toUtf8());
    auto dm = std::make_unique<TDm1>([&messages](const QString &m) { messages << m; });
    qunsetenv("QUIVEL_DATABASE");
    return dm;
}

template <typename F> QString failureOf(F &&f)
{
    try {
        f();
    } catch (const Exception &e) {
        return e.message();
    }
    return u"no failure"_s;
}

} // namespace

class TestSharedChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void aMediumSavedElsewhereJoinsTheLists();
    void aTitleChangedElsewhere_data();
    void aTitleChangedElsewhere();
    void aFileCatalogueHearsNothing();

private:
    std::unique_ptr<TestServer> m_server;
    TempCatalogue m_elsewhere{TempCatalogue::Content::None};
    std::unique_ptr<CurrentDirectory> m_cd;
    QString m_uri;
    int m_databases = 0;
    QStringList m_messages;
    std::unique_ptr<TDm1> m_writer; // the program that saves
    std::unique_ptr<TDm1> m_reader; // the program that watches
};

void TestSharedChanges::initTestCase()
{
    m_server = std::make_unique<TestServer>();
    QUIVEL_REQUIRE_SERVER(*m_server);
    m_cd = std::make_unique<CurrentDirectory>(m_elsewhere.directory());
}

void TestSharedChanges::init()
{
    m_uri = m_server->createDatabase(u"partilha%1"_s.arg(++m_databases));
    ServerCatalogue::createSample(m_uri);
    m_writer = program(m_uri, m_messages);
    m_reader = program(m_uri, m_messages);
}

void TestSharedChanges::cleanup()
{
    m_reader.reset();
    m_writer.reset();
    QCOMPARE(m_messages, QStringList());
}

// The medium list of the software window (the media dataset) and the other media lists gain
// the medium another program saved; the program that saved it does not read its lists again.
void TestSharedChanges::aMediumSavedElsewhereJoinsTheLists()
{
    const int before = m_reader->ADOQuery1.recordCount();
    m_reader->ADOQuery3.open();
    QCOMPARE(m_reader->ADOQuery3.recordCount(), before);
    QSignalSpy writerRead(&m_writer->ADOQuery1, &TADOQuery::dataSetChanged);

    TADOQuery &media = m_writer->ADOQuery1;
    media.insert();
    media.fieldByName(u"titulo"_s)->setAsString(u"Mídia de outro programa"_s);
    media.fieldByName(u"tipo"_s)->setAsString(u"DVD"_s);
    media.post();
    const QVariant code = media.fieldByName(u"codigo"_s)->value();
    const int afterSave = writerRead.count();

    QTRY_COMPARE(m_reader->ADOQuery1.recordCount(), before + 1);
    QVERIFY(m_reader->ADOQuery1.locate(u"codigo"_s, code));
    QCOMPARE(m_reader->ADOQuery1.fieldByName(u"titulo"_s)->asString(),
             u"Mídia de outro programa"_s);
    QTRY_COMPARE(m_reader->ADOQuery3.recordCount(), before + 1);
    QCOMPARE(writerRead.count(), afterSave);
}

// A title another program changed: read again when shown and browsed; kept as typed when
// being edited, whose save then meets the conflict; left alone when another title changed.
void TestSharedChanges::aTitleChangedElsewhere_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("editing");
    QTest::addRow("the one shown") << true << false;
    QTest::addRow("the one being edited") << true << true;
    QTest::addRow("another title") << false << false;
}

void TestSharedChanges::aTitleChangedElsewhere()
{
    QFETCH(bool, shown);
    QFETCH(bool, editing);
    TADOQuery &titles = m_reader->ADOQuery2;
    titles.setRecNo(4);
    const QVariant shownKey = titles.fieldByName(u"numero"_s)->value();
    const QString shownName = titles.fieldByName(u"nome"_s)->asString();
    if (editing) {
        titles.edit();
        titles.fieldByName(u"nome"_s)->setAsString(u"Digitado pelo usuário"_s);
    }
    QSignalSpy reread(&titles, &TADOQuery::dataSetChanged);

    TADOQuery &other = m_writer->ADOQuery2;
    QVERIFY(other.locate(u"numero"_s, shown ? shownKey : QVariant(qlonglong(1))));
    other.edit();
    other.fieldByName(u"nome"_s)->setAsString(u"Renomeado por outro programa"_s);
    other.post();
    // A medium saved after it: once the reader has that, it has heard of the title too.
    TADOQuery &media = m_writer->ADOQuery1;
    media.edit();
    media.fieldByName(u"local"_s)->setAsString(u"Estante 9"_s);
    media.post();
    QTRY_COMPARE(m_reader->ADOQuery1.fieldByName(u"local"_s)->asString(), u"Estante 9"_s);

    QCOMPARE(titles.fieldByName(u"numero"_s)->value(), shownKey);
    if (!shown) {
        QCOMPARE(reread.count(), 0);
        QCOMPARE(titles.fieldByName(u"nome"_s)->asString(), shownName);
        return;
    }
    if (!editing) {
        QCOMPARE(titles.state(), TDataSetState::Browse);
        QCOMPARE(titles.fieldByName(u"nome"_s)->asString(), u"Renomeado por outro programa"_s);
        return;
    }
    QCOMPARE(titles.state(), TDataSetState::Edit);
    QCOMPARE(titles.fieldByName(u"nome"_s)->asString(), u"Digitado pelo usuário"_s);
    // The server recorded who saved, so the refusal names the account and the time.
    const QString refusal = failureOf([&] { titles.post(); });
    QVERIFY2(QRegularExpression(u"^O registro não foi salvo: ele foi alterado por \\S+ às "
                                "\\d\\d:\\d\\d depois de lido$"_s)
                 .match(refusal)
                 .hasMatch(),
             qPrintable(refusal));
    QCOMPARE(m_server->scalar(
                 u"partilha%1"_s.arg(m_databases),
                 u"SELECT nome FROM quivel.softs WHERE numero = %1"_s.arg(shownKey.toLongLong())),
             u"Renomeado por outro programa"_s);
}

// A file is not shared this way: its connection watches no socket and tells of no change.
void TestSharedChanges::aFileCatalogueHearsNothing()
{
    TempCatalogue file(TempCatalogue::Content::Sample);
    TADOConnection writer;
    writer.setConnectionString(u"Provider=x;Data Source=%1;"_s.arg(file.path()));
    TADOConnection reader;
    reader.setConnectionString(u"Provider=x;Data Source=%1;"_s.arg(file.path()));
    reader.open();
    QCOMPARE(reader.backend().changeSocket(), -1);
    QSignalSpy heard(&reader, &TADOConnection::catalogueChanged);
    TADOQuery media(u"ADOQuery1"_s, &writer);
    media.setSql({u"select * from cds"_s});
    media.open();
    media.edit();
    media.fieldByName(u"local"_s)->setAsString(u"Estante 9"_s);
    media.post();
    QTest::qWait(200);
    QCOMPARE(heard.count(), 0);
}

QTEST_MAIN(TestSharedChanges)
#include "tst_shared_changes.moc"
