// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Window layouts are designed at 96 dpi with fonts in points; this keeps their pixel sizes
// (8 pt = 11 px, 10 pt = 13 px, 12 pt = 16 px) on any screen, as the layout expects.
void applyDesignFonts(QWidget *form);

// Labels size themselves to their caption, keeping their top-left corner.
void fitLabelsToText(QWidget *form);

// A window of fixed size with the system menu, a minimize button and no maximize button.
void setFixedFrame(QWidget *window);

// Moves a window to the centre of the screen it is on.
void centreOnScreen(QWidget *window);
