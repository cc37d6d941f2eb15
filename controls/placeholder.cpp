// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the library non-empty until its first control lands.
