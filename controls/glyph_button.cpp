// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/glyph_button.h"

#include "resources/picture_resources.h"

#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QPixmap>

TBitBtn::TBitBtn(QWidget *parent)
    : QPushButton(parent)
{
    setAutoDefault(false);
}

void TBitBtn::setGlyph(const QImage &bmp)
{
    m_glyph = glyphWithTransparency(bmp);
    if (m_glyph.isNull()) {
        setIcon(QIcon());
        return;
    }
    // QIcon derives the greyed disabled picture through the style; the icon size is the
    // bitmap's own, so the glyph is never scaled.
    setIcon(QIcon(QPixmap::fromImage(m_glyph)));
    setIconSize(m_glyph.size());
}

void TBitBtn::setGlyphPath(const QString &path)
{
    m_glyphPath = path;
    initQuivelResources();
    setGlyph(path.isEmpty() ? QImage() : QImageReader(path).read());
}

void TBitBtn::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}
