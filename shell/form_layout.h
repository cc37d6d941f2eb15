// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>

class QCoreApplication;
class QObject;
class QGroupBox;
class QWidget;

// Completes a window built from its .ui layout; call once after setupUi.
// - Layouts are designed at 96 dpi. A widget may carry its font height in pixels in the
//   dynamic property "pixelSize" (Designer's font property cannot hold pixels); a font given
//   in points is turned into the same pixel height (8 pt = 11 px, 10 pt = 13 px, 12 pt =
//   16 px), so the layout keeps its proportions on any screen. A grid's "titleFont" in points
//   is turned the same way.
// - Labels size themselves to their caption, keeping their top-left corner and height.
void finishFormLayout(QWidget *root);

// Maps the design's families while forms are set up, before any text is laid out in them: a
// widget's font of one of `families` takes the installed family that Qt would substitute for
// it (the first of QFont::substitutes that is installed), so that Qt need not search
// fallbacks for a family that is not there. A family with no installed substitute is left to
// Qt. In a window marked with setDesignFontsAsSet, a "pixelSize" also takes effect the moment
// it is set. Returns the event filter doing it, which app owns.
QObject *installDesignFonts(QCoreApplication &app, const QStringList &families);

// Call before setupUi on a window that finishFormLayout completes: its texts are then laid
// out only at their design sizes, not first at inherited ones finishFormLayout would replace.
void setDesignFontsAsSet(QWidget *root);

// A window (or dialog) of fixed size with the system menu, a minimize button and no maximize
// button.
void setFixedFrame(QWidget *window);

// Moves a top-level window so that its frame is centred on the desktop. Before the window
// manager has framed the window, the frame of the windows placed before is assumed; the
// window is centred again once its own frame is known, or when the window manager placed it
// elsewhere. A fixed-size window larger than the screen's free area is made to fit it, its
// contents scrolling at their designed size, with its title bar on the screen.
void centreOnDesktop(QWidget *window);

// Group boxes whose background colour shows exactly as set, inside the frame too.
void drawPanelsFlat(const QList<QGroupBox *> &boxes);
