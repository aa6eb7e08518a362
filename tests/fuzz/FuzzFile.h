#pragma once

// Parsers that take a path get the input through one scratch file per fuzzer process.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <cstdint>
#include <cstdlib>

namespace ostrevo::fuzz {

inline QString WriteScratch(const uint8_t *data, size_t size)
{
    static QTemporaryFile scratch;
    if (!scratch.isOpen() && !scratch.open())
        std::abort();
    scratch.resize(0);
    scratch.seek(0);
    scratch.write(reinterpret_cast<const char *>(data), qint64(size));
    scratch.flush();
    return scratch.fileName();
}

inline QByteArray Bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace ostrevo::fuzz
