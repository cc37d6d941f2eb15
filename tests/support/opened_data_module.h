// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/data_module.h"
#include "tests/support/temp_catalogue.h"

#include <QStringList>

#include <memory>

// A data module opened as the program opens it in `directory`, with the messages it gave.
struct Opened
{
    QStringList messages;
    std::unique_ptr<TDm1> dm;
};

inline Opened openDataModule(const QString &directory)
{
    CurrentDirectory cd(directory);
    Opened result;
    result.dm = std::make_unique<TDm1>(
        [&messages = result.messages](const QString &line) { messages << line; });
    return result;
}
