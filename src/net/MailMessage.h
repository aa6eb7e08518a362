#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace ostrevo {

struct MailAttachment {
    QString fileName;
    QByteArray data;
};

// One message as it goes out (RFC 5322 with MIME, RFC 2045-2047): plain text under
// `charset`, the attachments as base64 parts.
struct MailContent {
    QByteArray from;          // the "From" header ([Mail] UserName); none when empty
    QByteArray to;            // the "To" header, as the job's addresses form it, in `headerCharset`
    QByteArray subject;       // in `headerCharset`
    QByteArray headerCharset = "iso-8859-2";
    QList<QByteArray> body;   // lines in `charset`
    QByteArray charset = "iso-8859-2";
    QList<MailAttachment> attachments;
};

// The whole message with CR LF line ends.
QByteArray BuildMessage(const MailContent &content);

// The mailboxes of an address list: separated by ";" or ",", except inside a quoted
// display name or angle brackets ("Kowalski, Jan" <jan@x.example> is one).
QList<QByteArray> SplitAddressList(const QByteArray &list);

// The envelope addresses in a "To" text: each mailbox either bare or in angle brackets
// after a display name ("Jan Kowalski <jan@firma.pl>").
QList<QByteArray> ParseRecipients(const QByteArray &toText);

// The address lines joined by "; ", trailing blanks removed: one "To" header for them all.
QByteArray JoinAddresses(const QList<QByteArray> &addresses);

// A header value for a header whose name takes `column` characters ("Subject: " 9):
// plain ASCII folded at its blanks, anything else as RFC 2047 encoded words of at most
// 75 characters; no line passes 78 (RFC 5322 2.1.1).
QByteArray EncodeHeaderText(const QByteArray &text, const QByteArray &charset, qsizetype column = 9);

// Quoted-printable (RFC 2045 6.7) of text lines, soft-broken at 76 characters.
QByteArray QuotedPrintable(const QList<QByteArray> &lines);

} // namespace ostrevo
