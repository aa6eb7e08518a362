#include "preview/JobInspection.h"

#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "jobs/UniqueFd.h"

#include <QByteArray>
#include <QMimeDatabase>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace ostrevo {

namespace {

constexpr qsizetype SampleSize = 64 * 1024;

QByteArray ReadSample(int fd, const QString &path)
{
    QByteArray sample(SampleSize, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < sample.size()) {
        const ssize_t n = ::pread(fd, sample.data() + got, size_t(sample.size() - got), off_t(got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw IoError(QStringLiteral("Błąd odczytu pliku %1: %2").arg(path, ErrnoText(errno)));
        }
        if (n == 0)
            break;
        got += n;
    }
    sample.truncate(got);
    return sample;
}

// Control bytes a DOS printout may hold: tab, line ends, form feed, Ctrl+Z, and the codes
// of a dot-matrix printer (ESC sequences, condensed print on and off, bell, backspace).
bool TextControl(unsigned char b)
{
    switch (b) {
    case 0x07: case 0x08: case 0x09: case 0x0a: case 0x0b: case 0x0c: case 0x0d: case 0x0e: case 0x0f:
    case 0x11: case 0x12: case 0x13: case 0x14: case 0x18: case 0x1a: case 0x1b:
        return true;
    default:
        return false;
    }
}

// An ESC sequence takes a NUL as its parameter ("ESC - 0" ends underlining); a NUL
// anywhere else is no text.
bool EscapeParameter(const QByteArray &sample, qsizetype at)
{
    for (qsizetype k = std::max<qsizetype>(0, at - 3); k < at; ++k) {
        if (sample[k] == '\x1b')
            return true;
    }
    return false;
}

QString Describe(const QByteArray &sample)
{
    // The system's MIME database (shared-mime-info) knows every format an office may have
    // lying beside the jobs; whatever it takes for text is read on.
    if (sample.isEmpty())
        return {}; // an empty job, said as such later
    const QMimeType type = QMimeDatabase().mimeTypeForData(sample);
    if (!type.isDefault() && !type.inherits(QStringLiteral("text/plain"))) {
        const QString suffix = type.preferredSuffix().toUpper();
        return suffix.isEmpty() ? QStringLiteral("to plik typu %1").arg(type.name())
                                : QStringLiteral("to plik %1 (%2)").arg(suffix, type.name());
    }
    // What the monitor reads ends at the first Ctrl+Z; a NUL or a run of control bytes
    // before it is no text a DOS program wrote.
    qsizetype end = sample.indexOf('\x1a');
    if (end < 0)
        end = sample.size();
    qsizetype controls = 0;
    for (qsizetype i = 0; i < end; ++i) {
        const auto b = static_cast<unsigned char>(sample[i]);
        if (b == 0 && !EscapeParameter(sample, i))
            return QStringLiteral("zawiera bajty 0x00");
        if (b > 0 && b < 0x20 && !TextControl(b))
            ++controls;
    }
    if (end > 0 && controls * 20 > end)
        return QStringLiteral("co dwudziesty bajt to znak sterujący");
    return {};
}

} // namespace

InputCheck InspectJobFile(const QString &path)
{
    QByteArray sample;
    try {
        const UniqueFd fd(OpenJobText(path));
        sample = ReadSample(fd.fd, path);
    } catch (const JobError &error) {
        return {InputCheck::Unreadable, error.message()};
    }
    const QString binary = Describe(sample);
    if (!binary.isEmpty())
        return {InputCheck::Binary, QStringLiteral("%1 nie jest plikiem zadania: %2").arg(path, binary)};
    return {};
}

} // namespace ostrevo
