#include "devices/PrintSession.h"

#include "devices/TPrinter.h"
#include "jobs/Errors.h"

namespace ostrevo {

void PrintSession::choose(const QString &printerName)
{
    const int index = m_printer.selectByName(printerName);
    m_driverDuplex = DriverDefaultDuplex(m_printer, index);
    // Chosen twice so that its device mode is re-read from the driver.
    m_printer.setPrinterIndex(index);
    m_printer.setPrinterIndex(m_printer.printerIndex());
    m_chosen = true;
}

QString PrintSession::restore()
{
    QString problem;
    const auto attempt = [&problem](auto step) {
        try {
            step();
        } catch (const JobError &error) {
            if (problem.isEmpty())
                problem = error.message();
        } catch (const std::exception &error) {
            if (problem.isEmpty())
                problem = QString::fromLocal8Bit(error.what());
        }
    };
    if (m_chosen) {
        attempt([this] { m_printer.setOrientation(0); });
        attempt([this] { m_printer.setCopies(1); });
        attempt([this] { m_printer.SetDuplex(m_driverDuplex); });
    }
    m_printer.resetCanvas();
    return problem;
}

} // namespace ostrevo
