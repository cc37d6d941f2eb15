// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever a user types into a search box gives a result and leaves the catalogue as it was.
#include "search/search_window.h"

#include "data/data_module.h"
#include "shell/application.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QApplication>
#include <QTest>

class TestHostileSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installFontSubstitutions(); }
    void anyTextSearchesWithoutHarm_data();
    void anyTextSearchesWithoutHarm();
};

void TestHostileSearch::anyTextSearchesWithoutHarm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    const QString control = QStringLiteral("\a\t\x1b\x7f");
    for (int kind : {1, 2}) {
        const QByteArray k = QByteArray::number(kind);
        QTest::newRow("quotes " + k) << QStringLiteral("' OR 1=1 -- \"") << kind;
        QTest::newRow("statement " + k) << QStringLiteral("'; DROP TABLE cds; --") << kind;
        QTest::newRow("backslashes " + k) << QStringLiteral("C:\\Jogos\\%\\_") << kind;
        QTest::newRow("control characters " + k) << control << kind;
        QTest::newRow("10000 characters " + k) << QString(10000, u'a') << kind;
        QTest::newRow("cyrillic and cjk " + k) << QStringLiteral("Привет 日本語 €") << kind;
        QTest::newRow("parameter-like " + k) << QStringLiteral(":onumero ?1 @x $y") << kind;
        QTest::newRow("NUL character " + k)
            << QStringLiteral("a") + QChar(0) + QStringLiteral("b'") << kind;
    }
}

void TestHostileSearch::anyTextSearchesWithoutHarm()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    TempCatalogue catalogue(TempCatalogue::Content::Sample);
    const QByteArray before = catalogue.fileBytes();
    {
        CurrentDirectory cd(catalogue.directory());
        FakeDialogs dialogs;
        TDm1 dm([&](const QString &m) { dialogs.showMessage(m); });
        QWidget owner;
        TForm4 window(&owner, text, kind, dm);
        QVERIFY(dm.ADOQuery6.active());
        QCOMPARE(dm.ADOQuery6.recordCount(), 0); // nothing in the sample holds these texts
        window.ExecutaPesquisa();
        QVERIFY(dm.ADOQuery6.active());
        QVERIFY(dialogs.boxes.isEmpty());
    }
    QCOMPARE(catalogue.fileBytes(), before);
}

QTEST_MAIN(TestHostileSearch)
#include "tst_hostile_search.moc"
