// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class Backend;
struct sqlite3;

enum class TCursorLocation { UseClient, UseServer };
enum class TConnectMode {
    Unknown,
    Read,
    Write,
    ReadWrite,
    ShareDenyRead,
    ShareDenyWrite,
    ShareExclusive,
    ShareDenyNone
};

// The one connection to the catalogue. A file is named by the "Data Source=" piece of the
// connection string; it is opened read-write (read-only when the file is write protected)
// and never created. A libpq URI or keyword string names a catalogue on a server instead.
class TADOConnection : public QObject
{
    Q_OBJECT

public:
    explicit TADOConnection(QObject *parent = nullptr);
    ~TADOConnection() override;

    QString connectionString() const { return m_connectionString; }
    // Only while not connected.
    void setConnectionString(const QString &connectionString);

    void open();
    void close();
    bool connected() const { return m_backend != nullptr; }

    TCursorLocation cursorLocation = TCursorLocation::UseClient;
    bool loginPrompt = true;
    TConnectMode mode = TConnectMode::Unknown;
    QString provider;
    bool keepConnection = true;

    // The file path of the "Data Source=" piece, exactly as written.
    static QString dataSourcePath(const QString &connectionString);

    // For the data-access layer: the open engine, file or server.
    Backend &backend() const { return *m_backend; }
    // The file's engine handle; null for a server.
    sqlite3 *handle() const { return m_db; }
    QString path() const { return m_path; }

private:
    void openServer();

    std::unique_ptr<Backend> m_backend;
    sqlite3 *m_db = nullptr;
    QString m_connectionString;
    QString m_path;
};

// Builds the failure for the engine's last error on db, naming the catalogue where it helps.
[[noreturn]] void throwEngineError(sqlite3 *db, int resultCode, const QString &path);
