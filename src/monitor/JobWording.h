#pragma once

#include "monitor/JobRecord.h"

#include <QString>

namespace ostrevo {

// What the user reads of a job record, in Polish: the window, its notices and boxes. The
// journal file keeps the program's own words (jkText, OK), which scripts read.

// "Wydruk", "PDF", "Formularz", ...; a kind this version does not know stays as written.
QString KindWording(const QString &kind);

// "Wykonane", "Nieudane", ...
QString OutcomeWording(JobOutcome outcome);

// The outcome as a sentence with its details: "Nieudane: refused: not a PDF file".
QString OutcomeSentence(const JobRecord &record);

// "1 inne nieudane zadanie", "2 inne nieudane zadania", "5 innych nieudanych zadań".
QString OtherFailedJobs(int count);

} // namespace ostrevo
