#include "net/MailMessage.h"

#include <QDateTime>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QUuid>

#include <algorithm>

namespace ostrevo {

namespace {

bool PlainAscii(const QByteArray &text)
{
    for (char c : text)
        if (uchar(c) < 0x20 || uchar(c) > 0x7e)
            return false;
    return true;
}

QByteArray MimeType(const QString &fileName)
{
    // By the name alone, as mail clients go by it: the system's MIME database knows them all.
    return QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name().toLatin1();
}

// The file name parameter: quoted ASCII, or RFC 2231 UTF-8 beside an ASCII fallback.
// One form of the name: plain when it is plain ASCII, else RFC 2231's filename* alone
// (with both, mail programs took the ASCII stand-in "faktura_____.pdf").
QByteArray FileNameParameters(const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    const bool plain = std::all_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"' && c != u'\\';
    });
    if (plain)
        return "filename=\"" + utf8 + '"';
    return "\r\n filename*=UTF-8''" + utf8.toPercentEncoding();
}

QByteArray Base64Lines(const QByteArray &data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / 38 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        out += encoded.mid(i, 76) + "\r\n";
    return out;
}

} // namespace

QByteArray EncodeHeaderText(const QByteArray &text, const QByteArray &charset, qsizetype column)
{
    if (PlainAscii(text)) {
        // Folded at its blanks; a word too long for any line goes as encoded words below.
        QByteArray out;
        qsizetype col = column;
        bool fits = true;
        bool first = true;
        for (const QByteArray &word : text.split(' ')) {
            if ((first && col + word.size() > 78) || word.size() > 77) {
                fits = false;
                break;
            }
            if (!first && col + 1 + word.size() > 78) {
                out += "\r\n";
                col = 0;
            }
            if (!first) {
                out += ' ';
                ++col;
            }
            out += word;
            col += word.size();
            first = false;
        }
        if (fits)
            return out;
    }
    // Encoded words are at most 75 characters (RFC 2047 2), the first one shorter when the
    // header's name leaves less of its line; each holds whole characters, UTF-8 sequences
    // are not cut.
    const bool utf8 = charset.compare("utf-8", Qt::CaseInsensitive) == 0;
    const qsizetype overhead = charset.size() + 7; // "=?" charset "?B?" ... "?="
    qsizetype room = std::min<qsizetype>(75, 78 - column);
    QByteArray out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype bytes = std::max<qsizetype>(1, (room - overhead) / 4) * 3;
        qsizetype end = std::min(i + bytes, text.size());
        while (utf8 && end < text.size() && end > i + 1 && (uchar(text.at(end)) & 0xc0) == 0x80)
            --end;
        if (i > 0)
            out += "\r\n ";
        out += "=?" + charset + "?B?" + text.mid(i, end - i).toBase64() + "?=";
        i = end;
        room = 75;
    }
    return out;
}

QByteArray QuotedPrintable(const QList<QByteArray> &lines)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const QByteArray &line : lines) {
        int column = 0;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const uchar c = uchar(line.at(i));
            const bool last = i + 1 == line.size();
            QByteArray piece;
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last))
                piece = QByteArray(1, char(c));
            else
                piece = QByteArray("=") + hex[c >> 4] + hex[c & 15];
            if (column + piece.size() > 75) {
                out += "=\r\n";
                column = 0;
            }
            out += piece;
            column += int(piece.size());
        }
        out += "\r\n";
    }
    return out;
}

QList<QByteArray> SplitAddressList(const QByteArray &list)
{
    // Separated by ',' or ';', but not inside a quoted display name or angle brackets:
    // "Kowalski, Jan" <jan@x.example> is one mailbox (RFC 5322 3.4).
    QList<QByteArray> mailboxes;
    QByteArray current;
    bool quoted = false;
    bool angle = false;
    for (qsizetype k = 0; k < list.size(); ++k) {
        const char c = list.at(k);
        if (quoted && c == '\\' && k + 1 < list.size()) {
            current += c;
            current += list.at(++k);
            continue;
        }
        if (c == '"' && !angle)
            quoted = !quoted;
        else if (c == '<' && !quoted)
            angle = true;
        else if (c == '>' && !quoted)
            angle = false;
        if ((c == ',' || c == ';') && !quoted && !angle) {
            if (!current.trimmed().isEmpty())
                mailboxes.append(current.trimmed());
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty())
        mailboxes.append(current.trimmed());
    return mailboxes;
}

QList<QByteArray> ParseRecipients(const QByteArray &toText)
{
    QList<QByteArray> recipients;
    for (QByteArray address : SplitAddressList(toText)) {
        const qsizetype open = address.lastIndexOf('<');
        const qsizetype close = address.lastIndexOf('>');
        if (open >= 0 && close > open)
            address = address.mid(open + 1, close - open - 1).trimmed();
        if (!address.isEmpty())
            recipients.append(address);
    }
    return recipients;
}

QByteArray JoinAddresses(const QList<QByteArray> &addresses)
{
    QList<QByteArray> trimmed;
    for (QByteArray address : addresses) {
        while (!address.isEmpty() && uchar(address.back()) <= 0x20)
            address.chop(1);
        trimmed.append(address);
    }
    return trimmed.join("; ");
}

namespace {

// One mailbox as a header shows it: a display name with letters beyond ASCII as encoded
// words (RFC 2047 5), from its quotes if it had any; anything else as the job wrote it.
QByteArray MailboxText(const QByteArray &mailbox, const QByteArray &charset)
{
    const qsizetype open = mailbox.lastIndexOf('<');
    if (open <= 0 || PlainAscii(mailbox))
        return mailbox;
    QByteArray name = mailbox.left(open).trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"')) {
        QByteArray unquoted;
        for (qsizetype k = 1; k + 1 < name.size(); ++k) {
            if (name.at(k) == '\\' && k + 2 < name.size())
                ++k;
            unquoted += name.at(k);
        }
        name = unquoted;
    }
    if (PlainAscii(name))
        return mailbox;
    return EncodeHeaderText(name, charset, 1) + ' ' + mailbox.mid(open).trimmed();
}

// An address list as RFC 5322 3.4 writes it: separated by commas (the job's "; " is
// no list separator there, and mail programs showed only the first), folded before 78
// characters (2.1.1).
QByteArray AddressHeader(const char *name, const QByteArray &list, const QByteArray &charset)
{
    QByteArray header = name;
    header += ':';
    qsizetype column = header.size();
    const QList<QByteArray> addresses = SplitAddressList(list);
    for (qsizetype k = 0; k < addresses.size(); ++k) {
        const QByteArray piece = MailboxText(addresses[k], charset) + (k + 1 < addresses.size() ? "," : "");
        const qsizetype lineEnd = piece.indexOf('\r');
        const qsizetype firstLine = lineEnd < 0 ? piece.size() : lineEnd;
        if (k > 0 && column + 1 + firstLine > 78) {
            header += "\r\n";
            column = 0;
        }
        header += ' ' + piece;
        column = lineEnd < 0 ? column + 1 + piece.size() : piece.size() - piece.lastIndexOf('\n') - 1;
    }
    return header + "\r\n";
}

} // namespace

QByteArray BuildMessage(const MailContent &content)
{
    QByteArray head;
    if (!content.from.isEmpty())
        head += "From: " + content.from + "\r\n";
    head += AddressHeader("To", content.to, content.headerCharset);
    head += "Subject: " + EncodeHeaderText(content.subject, content.headerCharset) + "\r\n";
    head += "Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    head += "Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "@ostrevo>\r\n";
    head += "MIME-Version: 1.0\r\n";
    head += "X-Priority: 3\r\n";

    const QByteArray textHead = "Content-Type: text/plain; charset=\"" + content.charset
        + "\"\r\nContent-Transfer-Encoding: quoted-printable\r\n";
    const QByteArray text = QuotedPrintable(content.body);
    if (content.attachments.isEmpty())
        return head + textHead + "\r\n" + text;

    const QByteArray boundary = "=_ostrevo_" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    QByteArray message = head + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n"
        + "This is a multi-part message in MIME format.\r\n";
    // The line break before a boundary belongs to the boundary (RFC 2046 5.1.1): one
    // more keeps the text's last line break.
    message += "--" + boundary + "\r\n" + textHead + "\r\n" + text + "\r\n";
    for (const MailAttachment &attachment : content.attachments) {
        message += "--" + boundary + "\r\n";
        message += "Content-Type: " + MimeType(attachment.fileName) + "\r\n";
        message += "Content-Transfer-Encoding: base64\r\n";
        message += "Content-Disposition: attachment; " + FileNameParameters(attachment.fileName) + "\r\n\r\n";
        message += Base64Lines(attachment.data);
    }
    message += "--" + boundary + "--\r\n";
    return message;
}

} // namespace ostrevo
