// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/temp_catalogue.h"

#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <stdexcept>

TempCatalogue::TempCatalogue(Content content)
{
    if (content == Content::Empty)
        Catalogue::createEmpty(path());
    else if (content == Content::Sample)
        Catalogue::createSample(path());
}

QString TempCatalogue::path() const
{
    return m_dir.filePath(Catalogue::fileName());
}

void TempCatalogue::exec(const QString &sql) const
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path()).constData(), &db);
    char *error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    const std::string text = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error(text);
}

QString TempCatalogue::scalar(const QString &sql) const
{
    sqlite3 *db = nullptr;
    // Read-write, so a journal left by a killed writer is rolled back first.
    sqlite3_open_v2(QFile::encodeName(path()).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt *statement = nullptr;
    QString result;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
        result = QString::fromUtf8(text ? text : "");
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

QByteArray TempCatalogue::fileBytes() const
{
    QFile file(path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

CurrentDirectory::CurrentDirectory(const QString &path)
    : m_previous(QDir::currentPath())
{
    QDir::setCurrent(path);
}

CurrentDirectory::~CurrentDirectory()
{
    QDir::setCurrent(m_previous);
}
