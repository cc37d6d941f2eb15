// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/page_model.h"

#include <QByteArray>
#include <QString>

// The engine's own report file: a laid-out page model saved from the preview and loaded back.
// A fixed header (magic, format version, payload length, CRC-32 of the payload) guards a
// QDataStream payload; pictures are stored once however many pages show them.
//
// Every failure throws ReportError with a Portuguese message naming the file. Reading a file of
// the first format that holds a wrapped text measures it, which needs a QGuiApplication.

// 2: a wrapped text holds the lines that print, as the page shows them. A file of format 1 holds
// the whole text, which is cut the same way when the file is read.
inline constexpr quint16 reportFileVersion = 2;

QByteArray reportToBytes(const ReportDocument &document);
ReportDocument reportFromBytes(const QByteArray &bytes, const QString &source);

void saveReportFile(const ReportDocument &document, const QString &path);
ReportDocument loadReportFile(const QString &path);
