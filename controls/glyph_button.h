// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPushButton>
#include <QString>

// A push button with a bitmap glyph left of its caption, the two centred together. The
// glyph's bottom-left pixel colour is drawn transparent; a disabled button greys it. An "&"
// in the caption underlines the next letter and Alt with that letter clicks the button.
// As on the classic desktop, Enter clicks the button that has the focus, and no button ever
// becomes a dialog's default, so Enter typed in a text box never clicks one.
// In a .ui file promote a QPushButton to it (header "controls/glyph_button.h") and name the
// bitmap in the string property glyphPath, e.g. ":/pictures/close_door.bmp".
class TBitBtn : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(QString glyphPath READ glyphPath WRITE setGlyphPath)

public:
    explicit TBitBtn(QWidget *parent = nullptr);

    void setGlyph(const QImage &bmp);
    QImage glyph() const { return m_glyph; }

    void setGlyphPath(const QString &path);
    QString glyphPath() const { return m_glyphPath; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QImage m_glyph;
    QString m_glyphPath;
};
