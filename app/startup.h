// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Runs the program: creates the main window, the data module and the two registration
// windows in that order, shows the main window and runs the message loop. Returns the exit
// code.
int runQuivel(int argc, char **argv);
