#include "app/CaptureCheck.h"

#include "escp/PrintStream.h"
#include "jobs/Errors.h"
#include "lpt/CaptureFiles.h"
#include "lpt/PortPlaces.h"
#include "monitor/SettingsStore.h"
#include "preview/JobPreview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ostrevo {

namespace {

// Not read into memory for a check: no print job is this large.
constexpr qint64 MaxCheckedBytes = 512LL * 1024 * 1024;

const PortSettings *PortHolding(const Settings &settings, const QString &programDir, const QString &path)
{
    const QString dir = CanonicalDirectory(QFileInfo(path).absolutePath());
    for (const PortSettings &port : settings.ports) {
        if (port.katalog.isEmpty())
            continue;
        const QString portDir = CanonicalDirectory(PortDirectory(port, settings, programDir));
        if (dir == portDir || dir == CanonicalDirectory(portDir + u'/' + RejectedFolderName()))
            return &port;
    }
    return nullptr;
}

} // namespace

std::optional<CaptureCheck> CheckCapture(const QString &programDir, const QString &path, bool writePdf,
                                         const QString &outPath)
{
    const Settings settings = SettingsStore(programDir + QStringLiteral("/Ostrevo.ini")).read();
    const PortSettings *port = PortHolding(settings, programDir, path);
    if (!port)
        return std::nullopt;
    CaptureCheck check;
    QStringList &r = check.report;
    r.append(QStringLiteral("Wydruk: ") + QFileInfo(path).absoluteFilePath());
    r.append(QStringLiteral("Port: %1 (%2)").arg(port->name, PortDirectory(*port, settings, programDir)));
    if (!port->problem.isEmpty())
        r.append(QStringLiteral("Ustawienia portu: %1; monitor go pomija").arg(port->problem));
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || file.size() > MaxCheckedBytes) {
        r.append(QStringLiteral("Błąd: nie można odczytać pliku: %1").arg(file.size() > MaxCheckedBytes ? QStringLiteral("za duży") : file.errorString()));
        check.exitCode = PreviewUnreadable;
        return check;
    }
    const QByteArray bytes = file.readAll();
    r.append(QStringLiteral("Rozmiar: %1 B").arg(bytes.size()));
    if (bytes.isEmpty()) {
        r.append(QStringLiteral("Błąd: pusty plik nie jest wydrukiem"));
        check.exitCode = PreviewNotAJob;
        return check;
    }
    PrintStreamOptions options;
    options.codePage = port->kodowanie;
    options.pageLines = port->wiersze;
    options.title = QFileInfo(path).fileName();
    QString target;
    if (writePdf) {
        target = outPath.isEmpty() ? DefaultPreviewPath(path) : QFileInfo(outPath).absoluteFilePath();
        if (outPath.isEmpty())
            QDir().mkpath(QFileInfo(target).absolutePath());
        if (const QString refused = PreviewTargetRefusal(target, path); !refused.isEmpty()) {
            r.append(QStringLiteral("Błąd: ") + refused);
            check.exitCode = PreviewFailed;
            return check;
        }
    }
    try {
        const PrintStreamReport report = writePdf ? RenderPrintStream(bytes, options, target)
                                                  : InspectPrintStream(bytes, options);
        r.append(QStringLiteral("Język: ") + PrintLanguageName(report.language));
        if (!report.codePage.isEmpty())
            r.append(QStringLiteral("Strona kodowa: %1 (%2)")
                         .arg(report.codePage, report.codePageGuessed ? QStringLiteral("rozpoznana po bajtach")
                                                                      : QStringLiteral("Kodowanie=%1").arg(port->kodowanie)));
        r.append(QStringLiteral("Stron: %1").arg(report.pages));
        r.append(QStringLiteral("Nieznane polecenia: ")
                 + (report.unknownCommands.isEmpty() ? QStringLiteral("brak") : report.unknownCommands.join(QStringLiteral(", "))));
        if (writePdf)
            r.append(QStringLiteral("Podgląd: ") + target);
    } catch (const JobError &e) {
        r.append(QStringLiteral("Błąd: ") + e.message());
        check.exitCode = PreviewFailed;
    }
    return check;
}

} // namespace ostrevo
