#include "textprint/DuplexScan.h"

#include "jobs/JobFile.h"

namespace ostrevo {

DuplexRequest ScanDuplexRequest(const QString &textPath, int jobText)
{
    LineReader reader(jobText, textPath);
    while (auto line = reader.next()) {
        const QByteArray text = RemoveComment(*line);
        if (text.isEmpty())
            continue;
        if (HoldsTag(text, "<DX->"))
            return DuplexRequest::Off;
        if (HoldsTag(text, "<DX+>"))
            return DuplexRequest::On;
        return DuplexRequest::None;
    }
    return DuplexRequest::None;
}

} // namespace ostrevo
