// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/jpeg_image.h"
#include "resources/picture_resources.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTest>

using namespace Qt::StringLiterals;

class TestJpegImage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { initQuivelResources(); }
    void decodesCommittedPictures_data();
    void decodesCommittedPictures();
    void keepsColoursAndGrey_data();
    void keepsColoursAndGrey();
    void rejectsDamagedData_data();
    void rejectsDamagedData();
    void everyTruncationIsNull();
    void missingResourceIsNull();

private:
    static QByteArray resourceBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

void TestJpegImage::decodesCommittedPictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("whiteToBlack");
    QTest::newRow("media banner") << u":/pictures/media_banner.jpg"_s << QSize(793, 97) << true;
    QTest::newRow("software banner")
        << u":/pictures/software_banner.jpg"_s << QSize(793, 97) << true;
    QTest::newRow("logo") << u":/pictures/logo.jpg"_s << QSize(200, 60) << false;
}

void TestJpegImage::decodesCommittedPictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(bool, whiteToBlack);
    const QImage image = loadJpegResource(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(image.dotsPerMeterX(), 3780); // 96 dpi, so it is drawn at its natural size

    if (whiteToBlack) {
        // The ground runs from white at the left edge to black at the right; sample it
        // away from the emblem at the right end.
        QVERIFY(qGray(image.pixel(1, 40)) > 245);
        const QRgb middle = image.pixel(396, 40);
        QVERIFY2(qAbs(qGray(middle) - 128) < 12, qPrintable(QString::number(qGray(middle))));
        QVERIFY(qAbs(qRed(middle) - qBlue(middle)) < 6);
        QVERIFY(qGray(image.pixel(620, 10)) < 60);
    } else {
        // Dark letters on a lighter grey ground that darkens to the right.
        QVERIFY(qGray(image.pixel(1, 2)) > qGray(image.pixel(198, 2)) + 40);
        int darkest = 255;
        for (int x = 0; x < image.width(); ++x)
            darkest = qMin(darkest, qGray(image.pixel(x, image.height() / 2)));
        QVERIFY(darkest < 70);
    }
}

void TestJpegImage::keepsColoursAndGrey_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("red") << QImage::Format_RGB32 << QColor(230, 20, 20);
    QTest::newRow("blue") << QImage::Format_RGB32 << QColor(20, 40, 220);
    QTest::newRow("green") << QImage::Format_RGB32 << QColor(30, 200, 40);
    QTest::newRow("greyscale file") << QImage::Format_Grayscale8 << QColor(90, 90, 90);
}

void TestJpegImage::keepsColoursAndGrey()
{
    QFETCH(QImage::Format, format);
    QFETCH(QColor, colour);
    QImage source(24, 16, QImage::Format_RGB32);
    source.fill(colour);
    source = source.convertToFormat(format);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(100);
    if (!writer.write(source))
        QSKIP("Qt's own JPEG writer is not installed, so there is nothing to compare against");

    const QImage image = loadJpeg(buffer.data());
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), source.size());
    const QColor got = image.pixelColor(12, 8);
    QVERIFY2(qAbs(got.red() - colour.red()) <= 4 && qAbs(got.green() - colour.green()) <= 4 &&
                 qAbs(got.blue() - colour.blue()) <= 4,
             qPrintable(got.name()));
}

void TestJpegImage::rejectsDamagedData_data()
{
    const QByteArray logo = resourceBytes(u":/pictures/logo.jpg"_s);
    QVERIFY(logo.size() > 1000);
    QByteArray brokenScan = logo;
    // A stray end-of-image marker in the middle of the entropy-coded data.
    for (qsizetype i = logo.size() / 2; i < logo.size() / 2 + 16; i += 2) {
        brokenScan[i] = char(0xff);
        brokenScan[i + 1] = char(0xd9);
    }
    QByteArray badMarker = logo;
    badMarker[2] = char(0x00); // the marker after start-of-image is no marker at all

    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("garbage") << QByteArray("this is not a picture, only text", 32);
    QTest::newRow("start marker only") << logo.left(2);
    QTest::newRow("headers only") << logo.left(300);
    QTest::newRow("cut in half") << logo.left(logo.size() / 2);
    QTest::newRow("broken scan") << brokenScan;
    QTest::newRow("bad marker") << badMarker;
    QTest::newRow("png") << resourceBytes(u":/pictures/icon.png"_s);
}

void TestJpegImage::rejectsDamagedData()
{
    QFETCH(QByteArray, data);
    QVERIFY(loadJpeg(data).isNull());
}

void TestJpegImage::everyTruncationIsNull()
{
    // Whatever byte a download or copy stops at, the loader gives nothing rather than a
    // picture with a grey tail.
    const QByteArray logo = resourceBytes(u":/pictures/logo.jpg"_s);
    for (qsizetype length = 0; length < logo.size(); ++length)
        QVERIFY2(loadJpeg(logo.left(length)).isNull(), qPrintable(QString::number(length)));
}

void TestJpegImage::missingResourceIsNull()
{
    QVERIFY(loadJpegResource(u":/pictures/none.jpg"_s).isNull());
}

QTEST_GUILESS_MAIN(TestJpegImage)
#include "tst_jpeg_image.moc"
