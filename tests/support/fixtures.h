// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileInfo>
#include <QString>
#include <QTest>

// Legacy catalogue files are shared beside the project, never copied into it; the tests find
// them through QUIVEL_FIXTURES. Empty when the file is not there.
inline QString legacyFixturePath(const QString &name)
{
    const QString folder = qEnvironmentVariable("QUIVEL_FIXTURES");
    const QString path = folder + QStringLiteral("/legacy/") + name;
    return !folder.isEmpty() && QFileInfo::exists(path) ? path : QString();
}

// CI lays the shared folder beside its clone, so a missing fixture there is a fault, never a
// pass; on a developer's machine the test only skips.
inline bool fixturesRequired()
{
    return qEnvironmentVariable("CI") == QStringLiteral("true");
}

// Declares `var` as the fixture's path, or ends the test function: failed in CI, skipped
// elsewhere.
#define QUIVEL_REQUIRE_FIXTURE(var, name)                                                          \
    const QString var = legacyFixturePath(name);                                                   \
    if (var.isEmpty()) {                                                                           \
        const QByteArray missing =                                                                 \
            QStringLiteral("fixture legacy/%1 not found under QUIVEL_FIXTURES (%2)")               \
                .arg(name, qEnvironmentVariable("QUIVEL_FIXTURES"))                                \
                .toLocal8Bit();                                                                    \
        if (fixturesRequired())                                                                    \
            QFAIL(missing.constData());                                                            \
        QSKIP(missing.constData());                                                                \
    }
