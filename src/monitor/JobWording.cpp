#include "monitor/JobWording.h"

namespace ostrevo {

QString KindWording(const QString &kind)
{
    static const struct {
        const char *kind;
        const char *words;
    } names[] = {
        {"jkEmpty", "Puste zadanie"},   {"jkText", "Wydruk"},        {"jkPit", "Formularz"},
        {"jkFtp", "FTP"},               {"jkMail", "Poczta"},         {"jkPdf", "PDF"},
        {"jkPitPdf", "Formularz PDF"},  {"jkDownload", "Pobieranie"}, {"jkOpen", "Otwarcie"},
        {"jkPrint", "Drukowanie PDF"},  {"jkDf", "Drukarka fiskalna"}, {"jkWaluta", "Kursy walut"},
        {"jkKsef", "KSeF"},             {"jkLpt", "Wydruk z portu"},
        {"?", "Nierozpoznane"},         {"-", "Plik"},
    };
    for (const auto &name : names) {
        if (kind == QLatin1StringView(name.kind))
            return QString::fromUtf8(name.words);
    }
    return kind;
}

QString OutcomeWording(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Ok: return QStringLiteral("Wykonane");
    case JobOutcome::NothingDone: return QStringLiteral("Nic nie zrobiono");
    case JobOutcome::Failed: return QStringLiteral("Nieudane");
    case JobOutcome::NotSupported: return QStringLiteral("Nieobsługiwany rodzaj zadania");
    case JobOutcome::Retry: return QStringLiteral("Czeka na ponowienie");
    case JobOutcome::Error: return QStringLiteral("Błąd");
    case JobOutcome::Refused: return QStringLiteral("Odrzucone");
    case JobOutcome::Abandoned: return QStringLiteral("Przerwane przy zamykaniu, wykonane zostanie przy następnym starcie");
    case JobOutcome::Interrupted: return QStringLiteral("Przerwane w trakcie: sprawdź, co zostało wykonane");
    case JobOutcome::Cleared: return QStringLiteral("Usunięte przy starcie");
    }
    return {};
}

QString OutcomeSentence(const JobRecord &record)
{
    const QString words = OutcomeWording(record.outcome);
    return record.detail.isEmpty() ? words : words + QStringLiteral(": ") + record.detail;
}

QString OtherFailedJobs(int count)
{
    // Polish plurals: 1 zadanie; 2-4 zadania (but not 12-14); otherwise zadań.
    if (count == 1)
        return QStringLiteral("1 inne nieudane zadanie");
    const int tens = count % 100;
    const int ones = count % 10;
    if (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14))
        return QStringLiteral("%1 inne nieudane zadania").arg(count);
    return QStringLiteral("%1 innych nieudanych zadań").arg(count);
}

} // namespace ostrevo
