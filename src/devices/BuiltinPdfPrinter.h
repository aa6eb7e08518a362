#pragma once

#include "devices/DirectPdfDocument.h"
#include "devices/FreeFileName.h"
#include "devices/PrintDevice.h"
#include "devices/RealisedFontCache.h"

#include <memory>

namespace ostrevo {

// "Ostrevo PDF": A4 at 600 dpi with a printable area of 4800 x 6800 pixels; each document
// becomes NAME.pdf (NAME-2.pdf, ... when taken) in its directory, written by our own PDF
// writer. The file is written under a hidden temporary name, flushed to the disk, and
// appears only when the document ends, never over or through a name that exists.
class BuiltinPdfPrinter final : public PrintDevice {
public:
    static constexpr int Dpi = 600;
    static constexpr int PrintableWidth = 4800;
    static constexpr int PrintableHeight = 6800;

    // DIRECTORY: where the files go; set by the printer's owner, TPrinter.
    explicit BuiltinPdfPrinter(QString directory = {});
    void setDirectory(const QString &directory) { m_directory = directory; }

    QString name() const override;
    bool loadDefaults(DeviceMode &mode) override;
    DeviceMetrics metrics(const DeviceMode &mode) override;
    Canvas *beginDocument(const DeviceMode &mode, const QString &title) override;
    void newPage() override;
    void endDocument() override;
    void abortDocument() override;

    QString deliveredFile() const override { return m_lastFile; }

private:
    std::unique_ptr<DirectPdfDocument> m_document;
    PartFile m_part; // the running document's file, locked while it is written
    // Fonts outlive a document: the next printout uses the same ones.
    RealisedFontCache m_fonts;
    QString m_directory;
    QString m_documentDirectory; // the running document's
    QString m_stem;
    QString m_lastFile;
};

} // namespace ostrevo
