// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTemporaryDir>

// A catalogue in a fresh temporary folder, made by the companion tool's code.
class TempCatalogue
{
public:
    enum class Content { Empty, Sample, None };
    explicit TempCatalogue(Content content = Content::Empty);

    QString directory() const { return m_dir.path(); }
    QString path() const;
    // Runs SQL straight on the file, outside the program's layer.
    void exec(const QString &sql) const;
    QString scalar(const QString &sql) const;
    QByteArray fileBytes() const;

private:
    QTemporaryDir m_dir;
};

// Makes the temporary folder the current directory for the lifetime of this object.
class CurrentDirectory
{
public:
    explicit CurrentDirectory(const QString &path);
    ~CurrentDirectory();

private:
    QString m_previous;
};
