// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/window/exchange_window.h"

#include "core/exceptions.h"
#include "data/data_module.h"
#include "exchange/formats/sheet_reader.h"
#include "shell/error_handler.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Fixture
{
    Fixture()
    {
        catalogue.exec(u"INSERT INTO cds (codigo, titulo, tipo) VALUES (1, 'Jogos CD 01', 'CD');"
                       "INSERT INTO softs (numero, nome, descricao, midia) VALUES "
                       "(1, 'Tetris', 'Blocos', 1);"_s);
        dm = std::make_unique<TDm1>([this](const QString &m) { dialogs.showMessage(m); });
    }

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = files.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }

    TempCatalogue catalogue;
    CurrentDirectory cwd{catalogue.directory()};
    FakeDialogs dialogs;
    std::unique_ptr<TDm1> dm;
    QTemporaryDir files;
};

const QByteArray list = "Programa;Onde;Tipo\n"
                        "Zork;Jogos CD 01;CD\n"
                        ";Jogos CD 01;CD\n"
                        "Doom;Caixa nova;DVD\n";

} // namespace

class TestExchangeWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void previewThenImportValidLines();
    void columnsChosenByHandAndNothingImported();
    void exportTheCatalogueInUse();
    void backupThenRestoreAfterAsking();
};

void TestExchangeWindow::previewThenImportValidLines()
{
    Fixture f;
    ExchangeWindow window(*f.dm);
    auto *create = window.findChild<QCheckBox *>(u"CreateMedia"_s);
    auto *importButton = window.findChild<QPushButton *>(u"ImportButton"_s);
    window.loadImport(f.file(u"lista.csv"_s, list));
    // "Onde" names no field: the medium column is not chosen, so nothing can be checked yet.
    QVERIFY(window.previewText().contains(u"Escolha a coluna que traz a mídia"_s));
    QVERIFY(!importButton->isEnabled());

    auto *medium = window.findChild<QComboBox *>(u"MediumColumn"_s);
    medium->setCurrentIndex(medium->findText(u"Onde"_s));
    create->setChecked(true);
    window.checkImport();
    QVERIFY2(window.previewText().contains(u"2 título(s) e 1 mídia(s) nova(s)"_s),
             qPrintable(window.previewText()));
    QVERIFY(window.previewText().contains(u"Linha 3: falta o nome do título."_s));
    QVERIFY(importButton->isEnabled());

    // The registration windows' list sees the new medium once the import is done.
    f.dm->ADOQuery1.open();
    QVERIFY(window.importValidLines());
    QCOMPARE(f.catalogue.scalar(u"SELECT group_concat(nome, ',') FROM softs"_s),
             u"Tetris,Zork,Doom"_s);
    QCOMPARE(f.dm->ADOQuery1.recordCount(), 2);
    QVERIFY(!importButton->isEnabled());
}

void TestExchangeWindow::columnsChosenByHandAndNothingImported()
{
    Fixture f;
    ExchangeWindow window(*f.dm);
    window.loadImport(f.file(u"lista.csv"_s, list));
    auto *name = window.findChild<QComboBox *>(u"NameColumn"_s);
    auto *medium = window.findChild<QComboBox *>(u"MediumColumn"_s);
    QCOMPARE(name->currentText(), u"Programa"_s);
    QCOMPARE(window.findChild<QLabel *>(u"NameLabel"_s)->buddy(), name);
    medium->setCurrentIndex(medium->findText(u"Onde"_s));
    window.checkImport();
    QCOMPARE(int(window.plan()->titles.size()), 1);
    window.discardImport();
    QVERIFY(!window.plan());
    QCOMPARE(window.statusText(), u"Nada foi importado."_s);
    QCOMPARE(f.catalogue.scalar(u"SELECT count(*) FROM softs"_s), u"1"_s);
}

void TestExchangeWindow::exportTheCatalogueInUse()
{
    Fixture f;
    ExchangeWindow window(*f.dm);
    const QString path = f.files.filePath(u"catalogo.xlsx"_s);
    QVERIFY(window.exportTo(path));
    const auto reader = Exchange::SheetReader::open(path);
    Exchange::SheetRow row;
    QVERIFY(reader->next(row));
    QCOMPARE(row.cells.mid(0, 5), (QStringList{u"Código"_s, u"Aplicativo"_s, u"Descrição"_s,
                                               u"Código da mídia"_s, u"Mídia"_s}));
    QVERIFY(reader->next(row));
    QCOMPARE(row.cells.mid(0, 6),
             (QStringList{u"1"_s, u"Tetris"_s, u"Blocos"_s, u"1"_s, u"Jogos CD 01"_s, u"CD"_s}));
    QVERIFY(!reader->next(row));
}

void TestExchangeWindow::backupThenRestoreAfterAsking()
{
    Fixture f;
    ExchangeWindow window(*f.dm);
    const QString backup = f.files.filePath(u"copia.qv"_s);
    window.backupTo(backup);
    QVERIFY2(window.statusText().contains(u"verificada"_s), qPrintable(window.statusText()));
    f.catalogue.exec(u"INSERT INTO softs (nome, midia) VALUES ('Depois da cópia', 1)"_s);

    f.dialogs.answers = {Dialogs::No};
    QVERIFY(!window.restoreFrom(backup));
    QCOMPARE(f.catalogue.scalar(u"SELECT count(*) FROM softs"_s), u"2"_s);

    f.dm->ADOQuery2.close();
    f.dm->ADOQuery2.open();
    QCOMPARE(f.dm->ADOQuery2.recordCount(), 2);
    f.dialogs.answers = {Dialogs::Yes};
    QVERIFY(window.restoreFrom(backup));
    QCOMPARE(f.catalogue.scalar(u"SELECT count(*) FROM softs"_s), u"1"_s);
    QCOMPARE(f.dm->ADOQuery2.recordCount(), 1);
    const QStringList kept =
        QDir(f.catalogue.directory()).entryList({u"quivel.mdb.antes-da-restauracao-*"_s});
    QCOMPARE(kept.size(), 1);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestExchangeWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_exchange_window.moc"
