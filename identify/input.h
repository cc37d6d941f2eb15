// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <functional>
#include <optional>

struct archive;

namespace Identify {

// Thrown by a reader that must stop: the file is skipped with this text as its note.
struct Skip
{
    QString text;
};

// Bounds shared by every read of one file: bytes taken, time, and the user's cancel.
class Budget
{
public:
    Budget(qint64 maxBytes, int milliseconds, std::function<bool()> cancelled)
        : m_maxBytes(maxBytes)
        , m_deadline(milliseconds)
        , m_cancelled(std::move(cancelled))
    {}
    // Throws Skip when a bound is passed; Cancelled when the user stopped.
    void take(qint64 bytes);
    void check() const;
    bool cancelled() const { return m_cancelled && m_cancelled(); }
    qint64 maxBytes() const { return m_maxBytes; }

private:
    qint64 m_maxBytes;
    qint64 m_taken = 0;
    QDeadlineTimer m_deadline;
    std::function<bool()> m_cancelled;
};

// Thrown when the user cancels.
struct Cancelled
{
};

// The bytes of one file: on disk (read where asked) or an archive member (read in order).
class Input
{
public:
    virtual ~Input() = default;
    // -1 when not known.
    virtual qint64 size() const = 0;
    // Reads up to n bytes at offset; a member read in order refuses to go back. Returns the
    // bytes read, 0 at the end.
    virtual qint64 readAt(qint64 offset, char *buffer, qint64 n) = 0;
    virtual bool seekable() const = 0;
    // An archive stream that reads this input from its start, for nested formats (.deb).
    // Returns the open archive, or null with the library's message in error.
    struct archive *openArchive(const std::function<void(struct archive *)> &formats,
                                QString *error);

    Budget *budget = nullptr;
    qint64 position = 0; // of the archive reading it

    // After the archive library failed: throws what stopped a read of this input, if any.
    void rethrowStop() const;
    std::optional<Skip> stoppedBy;
    bool cancelledRead = false;

    // Reads exactly n bytes at offset, or fewer at the end.
    QByteArray read(qint64 offset, qint64 n);
};

// A regular file opened for reading without changing its access time.
class FileInput : public Input
{
public:
    explicit FileInput(int fd, qint64 size)
        : m_fd(fd)
        , m_size(size)
    {}
    ~FileInput() override;
    FileInput(const FileInput &) = delete;
    FileInput &operator=(const FileInput &) = delete;
    qint64 size() const override { return m_size; }
    qint64 readAt(qint64 offset, char *buffer, qint64 n) override;
    bool seekable() const override { return true; }
    int fd() const { return m_fd; }

private:
    int m_fd;
    qint64 m_size;
};

// The data of the archive's current member, read in order.
class MemberInput : public Input
{
public:
    // outer is the input the archive reads, watched for members that expand too much.
    MemberInput(struct archive *a, qint64 size, const Input *outer)
        : m_archive(a)
        , m_size(size)
        , m_outer(outer)
        , m_outerStart(outer->position)
    {}
    qint64 size() const override { return m_size; }
    qint64 readAt(qint64 offset, char *buffer, qint64 n) override;
    bool seekable() const override { return false; }

private:
    void produced(qint64 bytes);

    struct archive *m_archive;
    qint64 m_size;
    const Input *m_outer;
    qint64 m_outerStart;
    qint64 m_at = 0;
};

// Opens name inside the folder dirFd for reading: never following a link, without updating
// the access time where the system allows it (the owner's files), and never blocking on a
// device or pipe put there in place of a file. -1 with errno set on failure.
int openUntouched(int dirFd, const char *name, int flags);

// The system's error, as the user reads it.
QString systemErrorText(int error);

// A memory file holding the input's bytes (at most the budget's, or limit when given), for a
// library that only opens paths; its path is /proc/self/fd/N. -1 when it could not be made.
int copyToMemoryFile(Input &input, qint64 limit = -1);

} // namespace Identify
