#pragma once

#include "escp/PrintStream.h"

#include <QByteArray>
#include <QString>

#include <optional>

struct stat;

namespace ostrevo {

// Which file a capture is: a file of the same name written later is another print job.
// (The device number is left out: a share mounted again may get another.)
struct CaptureIdentity {
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;

    static CaptureIdentity of(const struct stat &st);
    bool operator==(const CaptureIdentity &) const = default;
};

// How far the delivery of one capture has come. It is kept beside the capture as a hidden
// file, written whole before and after each step that must not happen twice, so that a
// stop at any point (a crash, a power cut, a quit) neither repeats a print or a mail nor
// loses one that has not happened.
struct DeliveryRecord {
    // A step that was started but never recorded as done may or may not have happened:
    // it is never started again.
    enum class Step { NotYet, Started, Done };

    QByteArray captureName;
    CaptureIdentity capture;
    QString id; // the capture's journal id
    PrintStreamReport report;
    // The PDF on its way into its folder under a free name: the part file and its inode,
    // which the published file keeps.
    QString pendingPart;
    quint64 pendingInode = 0;
    QString pendingFolder;
    QString keptPdf; // the PDF in its folder, once published
    Step print = Step::NotYet;
    QString printDetail;
    Step mail = Step::NotYet;
    QString mailDetail;
    bool delivered = false; // everything done: only the capture is left to delete
};

// The record's name beside the capture NAME: ".NAME.ostrevo".
QByteArray RecordNameOf(const QByteArray &captureName);

QByteArray EncodeRecord(const DeliveryRecord &record);
// Nothing when the bytes are not a whole record.
std::optional<DeliveryRecord> DecodeRecord(const QByteArray &bytes);

// The record of the capture NAME in the port's directory; nothing when there is none or it
// is damaged.
std::optional<DeliveryRecord> ReadRecord(int dirFd, const QByteArray &captureName);
// Throws IoError (OutputUnavailable when the directory cannot be written).
void WriteRecord(int dirFd, const QString &dirPath, const QByteArray &captureName, const DeliveryRecord &record);
void RemoveRecord(int dirFd, const QByteArray &captureName);

// Whether a hidden name is one of the records.
bool IsRecordName(const QByteArray &name);
// The record file NAME itself; nothing when it is not a whole record.
std::optional<DeliveryRecord> ReadRecordFile(int dirFd, const QByteArray &recordName);

} // namespace ostrevo
