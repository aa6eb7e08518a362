#pragma once

#include <QString>

#include <cstdint>

namespace ostrevo {

class TPrinter;

// One job's use of the printer, set up and set back the same way for every kind of job
// that prints: the directory's printer chosen by name (the default printer stands in when
// that one is gone) with its device mode read afresh from the driver, and afterwards a
// portrait page, one copy, the two-sided setting its driver gives by default and a neutral
// canvas again, whatever the job changed and however it ended.
class PrintSession {
public:
    explicit PrintSession(TPrinter &printer) : m_printer(printer) {}

    // Chooses the printer; throws PrinterError when none can be chosen.
    void choose(const QString &printerName);
    // The two-sided setting the chosen printer's driver gives by default.
    std::uint8_t driverDuplex() const { return m_driverDuplex; }
    // Sets the printer back; the first thing that could not be set back, in the printer's
    // words, empty when all could.
    QString restore();

private:
    TPrinter &m_printer;
    bool m_chosen = false;
    std::uint8_t m_driverDuplex = 0;
};

} // namespace ostrevo
