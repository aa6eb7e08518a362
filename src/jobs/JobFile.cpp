#include "jobs/JobFile.h"

#include "jobs/Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {
constexpr qsizetype ChunkSize = 64 * 1024;
constexpr char CtrlZ = 0x1A;
} // namespace

LineReader::LineReader(const QString &path) : m_path(path), m_file(path)
{
    if (!m_file.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("Nie można otworzyć pliku %1: %2").arg(path, m_file.errorString()));
    m_device = &m_file;
}

LineReader::LineReader(QIODevice *device) : m_device(device) {}

LineReader::LineReader(int jobText, const QString &path) : m_path(path), m_fd(jobText)
{
    if (m_fd < 0) {
        m_fd = OpenJobText(path);
        m_ownsFd = true;
    }
}

LineReader::~LineReader()
{
    if (m_ownsFd && m_fd >= 0)
        ::close(m_fd);
}

int OpenJobText(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw IoError(QStringLiteral("Nie można otworzyć pliku %1: %2")
                          .arg(path, error == ELOOP ? QStringLiteral("to dowiązanie symboliczne")
                                                    : ErrnoText(error)));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw IoError(QStringLiteral("Nie można otworzyć pliku %1: to nie jest zwykły plik").arg(path));
    }
    return fd;
}

qint64 LineReader::readChunk(char *into, qint64 size)
{
    if (m_fd < 0)
        return m_device->read(into, size);
    for (;;) {
        const ssize_t n = ::pread(m_fd, into, size_t(size), off_t(m_offset));
        if (n >= 0) {
            m_offset += n;
            return n;
        }
        if (errno != EINTR)
            return -1;
    }
}

bool LineReader::fill()
{
    if (m_eof)
        return false;
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + ChunkSize);
    const qint64 n = readChunk(m_buffer.data() + old, ChunkSize);
    if (n < 0) {
        const QString reason = m_fd >= 0 ? ErrnoText(errno) : m_device->errorString();
        m_buffer.resize(old);
        throw IoError(QStringLiteral("Błąd odczytu pliku %1: %2").arg(m_path, reason));
    }
    m_buffer.resize(old + n);
    if (n == 0) {
        m_eof = true;
        return false;
    }
    return true;
}

bool LineReader::atEnd()
{
    while (m_pos >= m_buffer.size()) {
        if (!fill())
            return true;
    }
    return m_buffer.at(m_pos) == CtrlZ;
}

std::optional<QByteArray> LineReader::next()
{
    if (atEnd()) {
        // Ctrl+Z ends the file for good.
        if (m_pos < m_buffer.size()) {
            m_eof = true;
            m_buffer.clear();
            m_pos = 0;
        }
        return std::nullopt;
    }
    QByteArray line;
    ++m_lineNumber;
    for (;;) {
        if (m_pos >= m_buffer.size() && !fill())
            break;
        const char *data = m_buffer.constData();
        const qsizetype size = m_buffer.size();
        qsizetype i = m_pos;
        while (i < size && data[i] != '\n' && data[i] != CtrlZ)
            ++i;
        // Lone CRs are dropped wherever they stand; a CR before LF goes with the LF.
        for (qsizetype k = m_pos; k < i; ++k) {
            if (data[k] != '\r')
                line.append(data[k]);
        }
        if (i < size) {
            if (data[i] == CtrlZ) {
                m_eof = true;
                m_buffer.clear();
                m_pos = 0;
            } else {
                m_pos = i + 1;
            }
            return line;
        }
        m_pos = size;
    }
    return line;
}

QList<QByteArray> ReadAllLines(const QString &path)
{
    LineReader reader(path);
    QList<QByteArray> lines;
    while (auto line = reader.next())
        lines.append(std::move(*line));
    return lines;
}

QByteArray RemoveComment(const QByteArray &line)
{
    const qsizetype at = line.indexOf("//");
    return at < 0 ? line : line.left(at);
}

QByteArray UpperAscii(const QByteArray &line)
{
    QByteArray upper = line;
    for (char &c : upper) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return upper;
}

bool HoldsTag(const QByteArray &line, const char *tag)
{
    return UpperAscii(line).contains(tag);
}

QByteArray TrimControl(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && static_cast<unsigned char>(text.at(begin)) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text.at(end - 1)) <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

std::optional<KeyLine> ParseKeyLine(const QByteArray &line)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return KeyLine{UpperAscii(TrimControl(line.left(eq))), TrimControl(line.mid(eq + 1))};
}

KeyBlock ReadKeyBlock(LineReader &reader, const QByteArray &tagLine, bool keepComments)
{
    KeyBlock block;
    if (HoldsTag(tagLine, "<END>"))
        return block;
    while (auto raw = reader.next()) {
        const QByteArray line = keepComments ? *raw : RemoveComment(*raw);
        if (HoldsTag(line, "<END>"))
            break;
        if (auto kv = ParseKeyLine(line))
            block.insert(kv->key, kv->value);
    }
    return block;
}

} // namespace ostrevo
