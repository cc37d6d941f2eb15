// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Completes a window built from its .ui layout; call once after setupUi.
// - Font heights in the layouts are pixels at 96 dpi, which Designer's font property cannot
//   hold: a widget carries its height in the dynamic property "pixelSize".
// - Labels size themselves to their text: one whose text is wider in the substitute font
//   than its laid-out width grows to the right instead of clipping.
void finishFormLayout(QWidget *root);

// Moves a top-level window so that its frame is centred on the whole desktop.
void centreOnDesktop(QWidget *window);
