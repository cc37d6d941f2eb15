// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/quick_rep.h"

#include <QByteArray>
#include <QString>

#include <memory>

// Report layouts are JSON files, read from a path or a compiled-in resource.
//
// Both throw ReportError, naming the source, when the layout cannot be read or is not valid.
std::unique_ptr<TQuickRep> loadReportLayout(const QString &path);
std::unique_ptr<TQuickRep> parseReportLayout(const QByteArray &json, const QString &source);
