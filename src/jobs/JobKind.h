#pragma once

#include <QString>
#include <cstdint>

namespace ostrevo {

// The classifier's verdict on a job file; the numbers are part of the job-file contract.
enum JobKind : std::uint8_t {
    jkEmpty = 0,
    jkText = 1,
    jkPit = 2,
    jkFtp = 3,
    jkMail = 4,
    jkPdf = 5,
    jkPitPdf = 6,
    jkDownload = 7,
    jkOpen = 8,
    jkPrint = 9,
    jkDf = 10,
    jkWaluta = 11,
    jkKsef = 12,
};

inline constexpr int JobKindCount = 13;

// "jkText", "jkPit", ...; used in the journal and in messages.
QString JobKindName(JobKind kind);

} // namespace ostrevo
