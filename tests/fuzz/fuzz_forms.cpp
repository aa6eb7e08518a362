// Form templates and <PIT> jobs: the reader never crashes, reads out of bounds or
// allocates without bound, and both renderers take whatever it hands them. Before the
// first NUL byte the input is the template; after it the job's pages (or the same bytes).
#include "FuzzFile.h"
#include "devices/RealisedFontCache.h"
#include "devices/RecordingCanvas.h"
#include "devices/TAsBarcode.h"
#include "forms/FormCanvasDrawer.h"
#include "forms/FormJob.h"
#include "forms/FormSheets.h"
#include "forms/TFormB1.h"
#include "handling/JobHandlers.h"
#include "handling/Settings.h"
#include "jobs/Errors.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

using namespace ostrevo;

namespace {

class Sheets final : public FormSheets {
public:
    void startPage(bool landscape) override
    {
        if (m_pages++ > 0)
            m_canvas.newPage();
        m_landscape = landscape;
    }
    Canvas &canvas() override { return m_canvas; }
    DeviceMetrics metrics() override
    {
        DeviceMetrics m{4800, 6800, 600, 600, QSizeF(210, 297), {}};
        if (m_landscape) {
            std::swap(m.width, m.height);
            m.physicalMm.transpose();
        }
        return m;
    }

private:
    RecordingCanvas m_canvas;
    int m_pages = 0;
    bool m_landscape = false;
};

struct Place {
    QTemporaryDir root;
    QString program = root.path() + QStringLiteral("/program");
    QString jobs = root.path() + QStringLiteral("/jobs");
    Settings settings;
    JobContext context;
    RealisedFontCache fonts;
    TAsBarcode barcode;
    Place()
    {
        QDir().mkpath(program + QStringLiteral("/Wzorzec"));
        QDir().mkpath(jobs);
        context.programDir = program;
        context.currentJobDir = jobs;
        context.settings = &settings;
    }
};

void Write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(bytes);
}

} // namespace

// The fonts of both renderers are found through Qt's font database.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Place place;
    const QByteArray input = fuzz::Bytes(data, size);
    const qsizetype nul = input.indexOf('\0');
    const QByteArray form = nul < 0 ? input : input.left(nul);
    const QByteArray pages = nul < 0 ? input : input.mid(nul + 1);
    Write(place.program + QStringLiteral("/Wzorzec/WZOR.txt"), form);
    const QString jobPath = place.jobs + QStringLiteral("/JOB.txt");
    Write(jobPath, "<PIT>\r\nTEMPLATE=WZOR\r\n<END>\r\n" + pages);
    const QString pdf = place.jobs + QStringLiteral("/JOB.pdf");

    for (bool printer : {true, false}) {
        try {
            FormJob job(place.context, jobPath, FormBackground{printer, printer});
            if (!job.prepare())
                std::abort(); // the template is there
            if (printer) {
                Sheets sheets;
                FormCanvasDrawer drawer(sheets, place.barcode, true);
                job.drawPages(drawer);
            } else {
                TFormB1 form(place.fonts, place.barcode);
                form.PdfFormJob(job, pdf);
            }
        } catch (const JobError &) {
            // A bad template or job fails alone, with its reason.
        }
    }
    QFile::remove(pdf);
    return 0;
}
