// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/glyph_button.h"
#include "resources/picture_resources.h"

#include <QDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Bounding box of the pixels of a grab that pass a test; null when none do.
template <typename Pred> QRect pixelsWhere(const QImage &image, Pred pred)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (pred(image.pixelColor(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

bool colourful(const QColor &c)
{
    return c.hsvSaturation() > 90 && c.value() > 60;
}

QImage grabOf(QWidget &w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestGlyphButton : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { initQuivelResources(); }
    void altMnemonicClicks_data();
    void altMnemonicClicks();
    void enterInDialog_data();
    void enterInDialog();
    void glyphStandsLeftOfCaptionCentred();
    void glyphOnlyIsCentred();
    void disabledGlyphIsGreyed();
    void glyphPathFromDesigner();
    void grabPanel();
};

void TestGlyphButton::altMnemonicClicks_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("clicks");
    QTest::newRow("first letter") << u"&Fechar"_s << Qt::Key_F << true << 1;
    QTest::newRow("inner letter") << u"Bu&scar"_s << Qt::Key_S << true << 1;
    QTest::newRow("other letter") << u"&OK"_s << Qt::Key_K << true << 0;
    QTest::newRow("disabled") << u"&Apagar"_s << Qt::Key_A << false << 0;
}

void TestGlyphButton::altMnemonicClicks()
{
    QFETCH(QString, caption);
    QFETCH(Qt::Key, key);
    QFETCH(bool, enabled);
    QFETCH(int, clicks);

    QWidget window;
    auto *edit = new QLineEdit(&window);
    auto *button = new TBitBtn(&window);
    button->setGlyph(loadGlyph(u":/pictures/ok.bmp"_s).convertToFormat(QImage::Format_RGB32));
    button->setText(caption);
    button->setEnabled(enabled);
    auto *layout = new QGridLayout(&window);
    layout->addWidget(edit, 0, 0);
    layout->addWidget(button, 1, 0);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    edit->setFocus();

    QSignalSpy spy(button, &QAbstractButton::clicked);
    QTest::keyClick(edit, key, Qt::AltModifier);
    if (clicks > 0)
        QTRY_COMPARE(spy.count(), clicks);
    else
        QVERIFY(!spy.wait(400));
    QCOMPARE(spy.count(), clicks);
    if (clicks > 0)
        QVERIFY2(edit->text().isEmpty(), "the shortcut consumes the key");
}

void TestGlyphButton::enterInDialog_data()
{
    QTest::addColumn<bool>("focusOnButton");
    QTest::addColumn<int>("clicks");
    QTest::newRow("in the text box") << false << 0;
    QTest::newRow("on the button") << true << 1;
}

void TestGlyphButton::enterInDialog()
{
    QFETCH(bool, focusOnButton);
    QFETCH(int, clicks);
    // A dialog would otherwise make its first push button the default one.
    QDialog dialog;
    auto *edit = new QLineEdit(&dialog);
    auto *button = new TBitBtn(&dialog);
    button->setText(u"&OK"_s);
    auto *layout = new QGridLayout(&dialog);
    layout->addWidget(edit, 0, 0);
    layout->addWidget(button, 1, 0);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QWidget *target = focusOnButton ? static_cast<QWidget *>(button) : edit;
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());

    QSignalSpy spy(button, &QAbstractButton::clicked);
    QTest::keyClick(target, Qt::Key_Return);
    QCOMPARE(spy.count(), clicks);
    QVERIFY(dialog.isVisible());
    QVERIFY(!button->isDefault());
}

void TestGlyphButton::glyphStandsLeftOfCaptionCentred()
{
    TBitBtn button;
    button.setGlyph(QImage(u":/pictures/close_door.bmp"_s));
    button.setText(u"&Fechar"_s);
    button.resize(123, 41);
    const QImage shot = grabOf(button);

    const QRect glyph = pixelsWhere(shot, colourful);
    QVERIFY(!glyph.isNull());
    QVERIFY2(glyph.width() <= 32 && glyph.width() >= 26, "the glyph is drawn at its own size");
    // Caption letters: dark, colourless pixels right of the glyph.
    QImage rightOfGlyph =
        shot.copy(glyph.right() + 1, 0, shot.width() - glyph.right() - 1, shot.height());
    const QRect text = pixelsWhere(rightOfGlyph, [](const QColor &c) {
                           return c.value() < 90 && c.hsvSaturation() < 60;
                       }).translated(glyph.right() + 1, 0);
    QVERIFY2(!text.isNull(), "the caption stands right of the glyph");
    QVERIFY(text.left() - glyph.right() < 12);

    const QRect group = glyph | text;
    QVERIFY2(
        qAbs(group.center().x() - shot.width() / 2) <= 3,
        qPrintable(u"group %1..%2 in %3"_s.arg(group.left()).arg(group.right()).arg(shot.width())));
    QVERIFY(qAbs(glyph.center().y() - shot.height() / 2) <= 3);
}

void TestGlyphButton::glyphOnlyIsCentred()
{
    TBitBtn button;
    button.setGlyph(QImage(u":/pictures/refresh.bmp"_s));
    button.resize(38, 27);
    const QImage shot = grabOf(button);
    const QRect glyph = pixelsWhere(shot, colourful);
    QVERIFY(!glyph.isNull());
    QVERIFY(glyph.width() <= 16 && glyph.height() <= 16);
    QVERIFY(qAbs(glyph.center().x() - shot.width() / 2) <= 2);
    QVERIFY(qAbs(glyph.center().y() - shot.height() / 2) <= 2);
}

void TestGlyphButton::disabledGlyphIsGreyed()
{
    TBitBtn button;
    button.setGlyph(QImage(u":/pictures/ok.bmp"_s));
    button.setText(u"&OK"_s);
    button.resize(107, 49);
    const QImage enabledShot = grabOf(button);
    button.setEnabled(false);
    const QImage disabledShot = grabOf(button);

    const QRect glyph = pixelsWhere(enabledShot, colourful);
    QVERIFY(!glyph.isNull());
    QVERIFY2(pixelsWhere(disabledShot, colourful).isNull(), "no colour left when disabled");
    // Still a picture there, not a blank face.
    TBitBtn plain;
    plain.setText(u"&OK"_s);
    plain.resize(107, 49);
    plain.setEnabled(false);
    const QImage plainShot = grabOf(plain);
    QVERIFY(disabledShot.copy(glyph) != plainShot.copy(glyph));
}

void TestGlyphButton::glyphPathFromDesigner()
{
    // uic sets a promoted widget's extra property through the meta-object.
    TBitBtn button;
    QVERIFY(button.setProperty("glyphPath", u":/pictures/search.bmp"_s));
    QCOMPARE(button.glyphPath(), u":/pictures/search.bmp"_s);
    QCOMPARE(button.glyph().size(), QSize(32, 32));
    QCOMPARE(qAlpha(button.glyph().pixel(0, 31)), 0);
    QVERIFY(!button.icon().isNull());

    button.setGlyphPath(QString());
    QVERIFY(button.glyph().isNull());
    QVERIFY(button.icon().isNull());
}

void TestGlyphButton::grabPanel()
{
    // A panel of the program's picture buttons; QUIVEL_GRAB_DIR keeps the picture for a look.
    QWidget panel;
    auto *layout = new QGridLayout(&panel);
    struct ButtonCase
    {
        const char16_t *caption;
        const char16_t *glyph;
        QSize size;
        bool enabled;
    };
    const ButtonCase buttons[] = {
        {u"&Fechar", u"close_door.bmp", {123, 41}, true},
        {u"", u"refresh.bmp", {38, 27}, true},
        {u"&Novo", u"new.bmp", {90, 56}, true},
        {u"&Salvar", u"save.bmp", {81, 56}, true},
        {u"&Apagar", u"delete.bmp", {75, 25}, true},
        {u"&Buscar", u"search.bmp", {99, 57}, true},
        {u"&OK", u"ok.bmp", {107, 49}, true},
        {u"&OK", u"ok.bmp", {107, 49}, false},
        {u"&Salvar", u"save.bmp", {81, 56}, false},
    };
    int i = 0;
    for (const ButtonCase &s : buttons) {
        auto *b = new TBitBtn(&panel);
        b->setGlyphPath(u":/pictures/"_s + QString::fromUtf16(s.glyph));
        b->setText(QString::fromUtf16(s.caption));
        b->setFixedSize(s.size);
        b->setEnabled(s.enabled);
        layout->addWidget(b, i / 3, i % 3);
        ++i;
    }
    panel.adjustSize();
    const QImage shot = grabOf(panel);
    QVERIFY(!shot.isNull());
    QVERIFY(!pixelsWhere(shot, colourful).isNull());
    const QString dir = qEnvironmentVariable("QUIVEL_GRAB_DIR");
    if (!dir.isEmpty())
        QVERIFY(shot.save(dir + u"/glyph_buttons.png"_s));
}

QTEST_MAIN(TestGlyphButton)
#include "tst_glyph_button.moc"
