#pragma once

#include <QByteArray>

namespace ostrevo {

// The values of the last FTP upload or download job. A job sets only the fields whose
// keys it holds, so a job without a key reuses the value of an earlier one: the legacy
// program relies on that. Values are bytes as the job wrote them (the DOS code page);
// LOGIN and PASSWORD are kept unscrambled.
struct NetJobParams {
    QByteArray HTTP;
    QByteArray DBF;
    QByteArray SRC_FILE;
    QByteArray DST_FILE;
    QByteArray SERWER;
    QByteArray PATH;
    QByteArray LOGIN;
    QByteArray PASSWORD;
};

} // namespace ostrevo
