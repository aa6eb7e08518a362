#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace ostrevo {

class LineReader;

// The mail job's state, kept between jobs: a job replaces only the fields whose key or
// section it holds. Texts are bytes in ISO 8859-2, as the legacy program writes them.
struct MailJob {
    QByteArray Subject;          // T_MAIL
    QByteArray Attachment;       // F_MAIL: a file name inside the job directory's MAIL
    QList<QByteArray> Addresses; // <LISTA>: lines holding "@", untrimmed
    QList<QByteArray> Body;      // <MAIL_BODY>
    QString ResultName;
};

// Reads the sections <MAIL> (T_MAIL, F_MAIL), <LISTA> and <MAIL_BODY>, searched in this
// order, each search going on where the previous one stopped.
void ReadMailJob(LineReader &reader, MailJob &job);

// Reads the body of the first <MAIL_BODY> section of a file (a PDF job's), clearing the
// body first when the section is found.
void ReadMailBody(LineReader &reader, MailJob &job);

} // namespace ostrevo
