// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/jpeg_image.h"

#include "resources/picture_resources.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace {

struct DecoderError
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void decoderErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<DecoderError *>(cinfo->err)->jump, 1);
}

// libjpeg reports damaged data (a truncated file, a broken segment) as warnings and goes on
// with grey filler; a picture with holes is worse than none, so any warning ends decoding.
void decoderMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        std::longjmp(reinterpret_cast<DecoderError *>(cinfo->err)->jump, 1);
}

// Allocating the image happens here, outside the frame that calls setjmp, so no object with
// a destructor lives in that frame.
uchar *prepareImage(QImage *image, int width, int height)
{
    *image = QImage(width, height, QImage::Format_RGB888);
    return image->isNull() ? nullptr : image->bits();
}

qsizetype bytesPerLine(const QImage *image)
{
    return image->bytesPerLine();
}

void setDensity(QImage *image, const jpeg_decompress_struct *cinfo)
{
    if (cinfo->X_density == 0 || cinfo->Y_density == 0)
        return;
    const double perMetre = cinfo->density_unit == 1   ? 1000.0 / 25.4
                            : cinfo->density_unit == 2 ? 100.0
                                                       : 0.0;
    if (perMetre > 0) {
        image->setDotsPerMeterX(int(cinfo->X_density * perMetre + 0.5));
        image->setDotsPerMeterY(int(cinfo->Y_density * perMetre + 0.5));
    }
}

// Everything that may jump lives here; the caller owns the image and the libjpeg state.
bool decode(jpeg_decompress_struct *cinfo, DecoderError *err, const QByteArray *data, QImage *image)
{
    if (setjmp(err->jump))
        return false;
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char *>(data->constData()),
                 static_cast<unsigned long>(data->size()));
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->jpeg_color_space != JCS_GRAYSCALE && cinfo->jpeg_color_space != JCS_YCbCr &&
        cinfo->jpeg_color_space != JCS_RGB)
        return false;
    cinfo->out_color_space = JCS_RGB;
    jpeg_start_decompress(cinfo);
    uchar *bits = prepareImage(image, int(cinfo->output_width), int(cinfo->output_height));
    if (bits == nullptr)
        return false;
    const qsizetype stride = bytesPerLine(image);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = bits + stride * cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    setDensity(image, cinfo);
    return true;
}

} // namespace

QImage loadJpeg(const QByteArray &data)
{
    if (data.isEmpty())
        return {};
    jpeg_decompress_struct cinfo{};
    DecoderError err{};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = decoderErrorExit;
    err.base.emit_message = decoderMessage;
    jpeg_create_decompress(&cinfo);
    QImage image;
    const bool ok = decode(&cinfo, &err, &data, &image);
    jpeg_destroy_decompress(&cinfo);
    if (!ok)
        return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage loadJpegResource(const QString &path)
{
    initQuivelResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return loadJpeg(file.readAll());
}
