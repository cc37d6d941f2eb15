// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <functional>

class QString;

// Reports a failure that escaped an event handler: nothing for EAbort, otherwise a box with
// the application title, the stop icon and one OK. Processing then goes on.
void handleException(std::exception_ptr failure);

// The text shown for a failure's message: a "." is added when the last character's code is
// above that of ".".
QString withFinalPeriod(const QString &message);

// Wraps an event handler so that no exception crosses a Qt frame.
std::function<void()> guarded(std::function<void()> handler);
