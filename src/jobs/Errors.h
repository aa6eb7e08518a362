#pragma once

#include <QString>

#include <exception>

namespace ostrevo {

// Failures carry a message a user can act on: what failed, on which file or device.
class JobError : public std::exception {
public:
    explicit JobError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A file that cannot be opened, read, written or deleted.
class IoError : public JobError {
public:
    using JobError::JobError;
};

// Local output that cannot be written now: a full disk, a read-only or missing output
// directory, no free file name. Not the job's fault: the monitor keeps the job's files
// and performs it again later, when the condition may have cleared.
class OutputUnavailable : public IoError {
public:
    using IoError::IoError;
};

// Whether a failed write's errno is a condition of the place that may clear (a full disk,
// a read-only file system, no permission): the output is unavailable, not the job wrong.
bool OutputMayClear(int error);

// An errno value in the user's words (Polish), as the journal and the status show them;
// a value the office is unlikely to meet keeps the system's text and its number.
QString ErrnoText(int error);

// Text that should be a number, a date or a known value and is not.
class ConversionError : public JobError {
public:
    using JobError::JobError;
};

} // namespace ostrevo
