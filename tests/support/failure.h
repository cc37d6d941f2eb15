// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/exceptions.h"

#include <QString>

// The message a call fails with, or "no failure": one QCOMPARE then shows the whole text.
template <typename F> QString failureOf(F &&f)
{
    try {
        f();
    } catch (const Exception &e) {
        return e.message();
    }
    return QStringLiteral("no failure");
}
