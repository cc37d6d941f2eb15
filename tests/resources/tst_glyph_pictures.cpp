// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/picture_resources.h"

#include <QFile>
#include <QImageReader>
#include <QTest>

using namespace Qt::StringLiterals;

class TestGlyphPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { initQuivelResources(); }
    void bottomLeftColourBecomesTransparent_data();
    void bottomLeftColourBecomesTransparent();
    void nullStaysNull();
    void committedGlyphs_data();
    void committedGlyphs();
    void applicationIcon();
};

void TestGlyphPictures::bottomLeftColourBecomesTransparent_data()
{
    QTest::addColumn<QColor>("key");
    QTest::addColumn<QColor>("nearKey");
    QTest::newRow("white") << QColor(255, 255, 255) << QColor(254, 255, 255);
    QTest::newRow("black") << QColor(0, 0, 0) << QColor(0, 0, 1);
    QTest::newRow("olive") << QColor(128, 128, 0) << QColor(128, 127, 0);
}

void TestGlyphPictures::bottomLeftColourBecomesTransparent()
{
    QFETCH(QColor, key);
    QFETCH(QColor, nearKey);
    // Laid out as in a bitmap glyph: the key is the bottom-left pixel and appears elsewhere.
    QImage bmp(3, 3, QImage::Format_RGB888);
    bmp.fill(QColor(200, 30, 40));
    bmp.setPixelColor(0, 2, key);
    bmp.setPixelColor(2, 0, key);
    bmp.setPixelColor(1, 1, nearKey);

    const QImage glyph = glyphWithTransparency(bmp);
    QCOMPARE(glyph.format(), QImage::Format_ARGB32);
    QCOMPARE(glyph.size(), bmp.size());
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            const bool isKey = (x == 0 && y == 2) || (x == 2 && y == 0);
            const QRgb px = glyph.pixel(x, y);
            if (isKey) {
                QCOMPARE(qAlpha(px), 0);
            } else {
                QCOMPARE(qAlpha(px), 255);
                QCOMPARE(QColor(px).rgb(), bmp.pixelColor(x, y).rgb());
            }
        }
    }
}

void TestGlyphPictures::nullStaysNull()
{
    QVERIFY(glyphWithTransparency(QImage()).isNull());
}

void TestGlyphPictures::committedGlyphs_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<QColor>("key");
    const QColor white(255, 255, 255);
    QTest::newRow("new") << u"new.bmp"_s << 32 << white;
    QTest::newRow("save") << u"save.bmp"_s << 32 << white;
    QTest::newRow("delete") << u"delete.bmp"_s << 16 << white;
    QTest::newRow("close door") << u"close_door.bmp"_s << 32 << white;
    QTest::newRow("refresh") << u"refresh.bmp"_s << 16 << white;
    QTest::newRow("search") << u"search.bmp"_s << 32 << QColor(0, 0, 0);
    QTest::newRow("ok") << u"ok.bmp"_s << 32 << white;
}

void TestGlyphPictures::committedGlyphs()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(QColor, key);
    const QString path = u":/pictures/"_s + name;

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(30);
    QVERIFY(header.startsWith("BM"));
    QCOMPARE(int(quint8(header[28])) | int(quint8(header[29])) << 8, 24); // bits per pixel

    const QImage bmp = QImageReader(path).read();
    QCOMPARE(bmp.size(), QSize(size, size));
    QCOMPARE(bmp.pixelColor(0, size - 1), key);

    const QImage glyph = loadGlyph(path);
    QCOMPARE(glyph.size(), bmp.size());
    QCOMPARE(qAlpha(glyph.pixel(0, size - 1)), 0);
    int opaque = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            opaque += qAlpha(glyph.pixel(x, y)) == 255 ? 1 : 0;
    // A motif with the ground showing around it: neither empty nor a solid block.
    const int pixels = size * size;
    QVERIFY2(opaque > pixels / 5 && opaque < pixels * 9 / 10, qPrintable(QString::number(opaque)));
}

void TestGlyphPictures::applicationIcon()
{
    const QImage icon = QImageReader(u":/pictures/icon.png"_s).read();
    QCOMPARE(icon.size(), QSize(32, 32));
    QVERIFY(icon.hasAlphaChannel());
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(16, 16)), 255);
}

QTEST_GUILESS_MAIN(TestGlyphPictures)
#include "tst_glyph_pictures.moc"
