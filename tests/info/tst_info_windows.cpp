// SPDX-License-Identifier: GPL-3.0-or-later
#include "info/about_window.h"
#include "info/next_versions_window.h"
#include "shell/application.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeConfig(const QString &dir, const QByteArray &bytes)
{
    QFile file(dir + QStringLiteral("/config.cfg"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QLineEdit *versionBox(const TForm6 &about)
{
    return about.findChild<QLineEdit *>(QStringLiteral("Edit1"));
}

} // namespace

class TestInfoWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QApplication::setApplicationDisplayName(QStringLiteral("Quivel"));
        installFontSubstitutions();
        installEnterClicksButtons(*qApp);
    }
    void aboutShowsFirstLineOfCurrentDirectoryFile_data();
    void aboutShowsFirstLineOfCurrentDirectoryFile();
    void aboutReportsMissingFileAndStillOpens();
    void aboutRereadsOnEveryShow();
    void aboutWindowFrame();
    void nextVersionsText();
    void nextVersionsLeavesOnlyByVoltar();
    void aboutStatesThePackagesLicence();
};

void TestInfoWindows::aboutShowsFirstLineOfCurrentDirectoryFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("version");
    QTest::newRow("version line") << QByteArray("1.0.0\r\n") << QStringLiteral("1.0.0");
    QTest::newRow("first of several") << QByteArray("2.0\r\nnotas\r\n") << QStringLiteral("2.0");
    QTest::newRow("Ctrl+Z") << QByteArray("3.1\x1a\r\n") << QStringLiteral("3.1");
    QTest::newRow("accented") << QByteArray("Versão\n").replace("ã", "\xe3")
                              << QStringLiteral("Versão");
    QTest::newRow("UTF-8") << QByteArray("Versão 2.0\n") << QStringLiteral("Versão 2.0");
    QTest::newRow("40,000 characters whole") << QByteArray(40000, '7') + "\n"
                                             << QString(40000, u'7');
    QTest::newRow("empty file") << QByteArray() << QString();
}

void TestInfoWindows::aboutShowsFirstLineOfCurrentDirectoryFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, version);
    QTemporaryDir dir;
    writeConfig(dir.path(), bytes);
    CurrentDirectory cd(dir.path());
    FakeDialogs dialogs;

    TForm6 about;
    QCOMPARE(versionBox(about)->text(), QString()); // empty until shown
    about.show();
    QCOMPARE(versionBox(about)->text(), version);
    QVERIFY(dialogs.boxes.isEmpty());
}

void TestInfoWindows::aboutReportsMissingFileAndStillOpens()
{
    // The file lies beside nothing the window looks at: only the current directory counts.
    QTemporaryDir elsewhere;
    writeConfig(elsewhere.path(), "1.0.0\n");
    QTemporaryDir dir;
    CurrentDirectory cd(dir.path());
    FakeDialogs dialogs;

    TForm6 about;
    about.show();
    QVERIFY(about.isVisible());
    QCOMPARE(versionBox(about)->text(), QString());
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].text, QStringLiteral("File not found."));
    QCOMPARE(dialogs.boxes[0].caption, QStringLiteral("Quivel"));
    QCOMPARE(dialogs.boxes[0].icon, Dialogs::Icon::Critical);
}

void TestInfoWindows::aboutRereadsOnEveryShow()
{
    QTemporaryDir dir;
    CurrentDirectory cd(dir.path());
    FakeDialogs dialogs;
    TForm6 about;

    about.show(); // no file yet
    about.hide();
    writeConfig(dir.path(), "1.0.0\n");
    about.show();
    QCOMPARE(versionBox(about)->text(), QStringLiteral("1.0.0"));
    about.hide();
    writeConfig(dir.path(), "1.0.1\n");
    about.show();
    QCOMPARE(versionBox(about)->text(), QStringLiteral("1.0.1"));
    QCOMPARE(dialogs.boxes.size(), 1); // only the first showing failed
}

void TestInfoWindows::aboutWindowFrame()
{
    QTemporaryDir dir;
    writeConfig(dir.path(), QByteArray(300, '9') + "\n");
    CurrentDirectory cd(dir.path());
    FakeDialogs dialogs;
    TForm6 about;
    QCOMPARE(about.windowTitle(), QStringLiteral("Sobre..."));
    QCOMPARE(about.size(), QSize(392, 266));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    const Qt::WindowFlags flags = about.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    about.show();
    QVERIFY(QTest::qWaitForWindowActive(&about));
    auto *ok = about.findChild<QPushButton *>(QStringLiteral("Button1"));
    QCOMPARE(QApplication::focusWidget(), ok);
    QCOMPARE(ok->text(), QStringLiteral("&Ok"));

    // A version longer than the box goes in whole and cannot be changed.
    QLineEdit *edit = versionBox(about);
    QCOMPARE(edit->text().size(), 300);
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("x"));
    QCOMPARE(edit->text(), QString(300, u'9'));

    QTest::keyClick(&about, Qt::Key_Escape); // no cancel button
    QVERIFY(about.isVisible());
    ok->setFocus();
    QTest::keyClick(ok, Qt::Key_Return); // Enter on the focused button clicks it
    QVERIFY(!about.isVisible());
}

void TestInfoWindows::nextVersionsText()
{
    TForm5 next;
    auto *memo = next.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"));
    QVERIFY(memo);
    const QStringList lines = {
        QStringLiteral("Nas próximas versões:"),
        QString(),
        QStringLiteral("- Segurança de conteúdo através de senha"),
        QStringLiteral("- Identificação automática de softwares nas "),
        QStringLiteral("mídias"),
        QStringLiteral("- Separação de conteúdo (filmes, games, etc)"),
        QStringLiteral("- Correções..."),
    };
    QCOMPARE(memo->toPlainText().split(u'\n'), lines);
    QCOMPARE(next.windowTitle(), QStringLiteral("Next..."));
    QCOMPARE(next.size(), QSize(312, 206));

    // Read-only but selectable; wraps at the edge and never scrolls.
    QVERIFY(memo->isReadOnly());
    QVERIFY(memo->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    next.show();
    QVERIFY(QTest::qWaitForWindowExposed(&next));
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("abc"));
    QTest::keyClick(memo, Qt::Key_Delete);
    QCOMPARE(memo->toPlainText().split(u'\n'), lines);
}

void TestInfoWindows::nextVersionsLeavesOnlyByVoltar()
{
    TForm5 next;
    const Qt::WindowFlags flags = next.windowFlags();
    QVERIFY(flags & Qt::CustomizeWindowHint);
    QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                       Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    next.show();
    QVERIFY(QTest::qWaitForWindowActive(&next));
    auto *back = next.findChild<QPushButton *>(QStringLiteral("Button1"));
    QCOMPARE(QApplication::focusWidget(), back);
    QTest::keyClick(&next, Qt::Key_Escape);
    QVERIFY(next.isVisible());
    QTest::keyClick(&next, Qt::Key_V, Qt::AltModifier);
    QTRY_VERIFY(!next.isVisible()); // a mnemonic clicks after a short animation

    next.show();
    QVERIFY(QTest::qWaitForWindowActive(&next));
    QCOMPARE(QApplication::focusWidget(), back);
    QTest::keyClick(back, Qt::Key_Return);
    QVERIFY(!next.isVisible());
}

// One licence, said alike by the About window, the package's copyright file and its
// AppStream data; the words of a closed program are gone.
void TestInfoWindows::aboutStatesThePackagesLicence()
{
    const auto read = [](const char *path) {
        QFile file(QString::fromUtf8(path));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const QString copyright = read(QUIVEL_COPYRIGHT_FILE);
    const QRegularExpressionMatch field =
        QRegularExpression(QStringLiteral("^License: (\\S+)$"), QRegularExpression::MultilineOption)
            .match(copyright);
    QVERIFY2(field.hasMatch(), qPrintable(copyright));
    const QString licence = field.captured(1);
    QVERIFY(read(QUIVEL_METAINFO_FILE)
                .contains(QStringLiteral("<project_license>%1</project_license>").arg(licence)));

    QTemporaryDir dir;
    writeConfig(dir.path(), "1.0\n");
    CurrentDirectory cd(dir.path());
    FakeDialogs dialogs;
    TForm6 about;
    QStringList texts;
    for (const QLabel *label : about.findChildren<QLabel *>())
        texts << label->text();
    const QString said = texts.join(u'\n');
    QVERIFY2(said.contains(QStringLiteral("Licença: %1.").arg(licence)), qPrintable(said));
    QVERIFY2(!said.contains(QStringLiteral("Freeware")), qPrintable(said));
    QVERIFY2(!said.contains(QStringLiteral("direitos reservados")), qPrintable(said));
    QCOMPARE(about.size(), QSize(392, 266));
    // Every text whole inside the window.
    for (const QLabel *label : about.findChildren<QLabel *>())
        QVERIFY2(about.rect().contains(label->geometry()), qPrintable(label->text()));
}

QTEST_MAIN(TestInfoWindows)
#include "tst_info_windows.moc"
