#pragma once

#include "jobs/UniqueFd.h"

#include "jobs/Errors.h"

#include <QByteArray>
#include <QImage>
#include <QLineF>
#include <QVector>
#include <QList>
#include <QString>

#include <memory>

namespace ostrevo {

class PdfDocumentFile;
class RealisedFont;
class RealisedFontCache;

// A failed operation of the PDF document: out of order, a value it cannot take, or a file
// it cannot write.
class PdfError : public JobError {
public:
    using JobError::JobError;
};

// The PDF document the PDF renderers draw on, one per job. Units are points; the origin
// is the page's top-left corner, y grows downwards, and a text is placed by the top-left
// corner of its cell. An A4 page is 595 x 842 (842 x 595 in landscape).
//
// Scale works as the PDF's own transformation does, cumulatively until the next page:
// later x become x * h, later y become H - (H - y) * v (about the bottom edge). Texts are
// Windows-1250 bytes when the font's character set is 238, Latin-1 otherwise; copying
// them out of the PDF gives the letters they stand for.
//
// The file is written beside its name and renamed over it by EndDoc, complete and on
// disk: a reader never sees half a file under the name, and an existing file is replaced
// only by a whole new one. A document dropped before EndDoc leaves nothing behind.
class TpiPDFDocument {
public:
    TpiPDFDocument();
    // Fonts realised once serve every job that shares the cache.
    explicit TpiPDFDocument(RealisedFontCache &fonts);
    ~TpiPDFDocument();
    TpiPDFDocument(const TpiPDFDocument &) = delete;
    TpiPDFDocument &operator=(const TpiPDFDocument &) = delete;

    void SetFileName(const QString &path);
    void SetDocumentFlag(int) {}
    // Throws PdfError when the file cannot be written there (OutputUnavailable when the
    // disk or the directory refuses for now).
    void BeginDoc();
    void NewPage();
    void EndDoc();

    int GetPageWidth() const;
    int GetPageHeight() const;
    // Landscape sheets for the current page and those after it.
    void SetDocumentLandscape(int landscape);
    // The current page is shown turned a quarter clockwise; its coordinates stay those
    // of the portrait page, so text at 90 degrees reads across it.
    void SetPageLandscape(int landscape);

    // `size` is the em size in points; underline and strike-out are drawn as lines.
    void SetFont(const QString &faceName, bool bold, bool italic, bool underline, bool strikeOut, double size,
                 int charSet);
    // Width in the current font, whatever Scale says.
    double GetTextWidth(const QByteArray &text);
    // `angle` in degrees, counter-clockwise.
    void ShowText(double x, double y, double angle, const QByteArray &text);
    void Scale(double horizontal, double vertical);

    void SetLineWidth(double width);
    // A PDF dash array and phase such as "[12 4] 0"; "[ ] 0" is a solid line.
    void SetDash(const QString &dash);
    // Colour of texts and lines, each component 0..1.
    void SetColor(double red, double green, double blue);
    void SetFillColor(double red, double green, double blue);
    void SetStrokeColor(double red, double green, double blue);

    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    void Rectangle(double left, double top, double right, double bottom);
    // Strokes the path with the line settings.
    void Stroke();
    // Fills the path with the fill colour and strokes it.
    void PaintPath();
    // Strokes these straight lines as MoveTo, LineTo and Stroke would, written relative
    // to the topmost of them, so that the rows of a table repeat byte for byte and the
    // page compresses to little.
    void StrokeLines(const QVector<QLineF> &lines);

    // Registers an image, kept losslessly; returns its index for ShowImage.
    int AddImage(const QImage &image, int flags);
    // Draws a registered image of the given size with its top-left corner at (left, top),
    // turned by `angle` degrees counter-clockwise about that corner.
    void ShowImage(int index, double angle, double height, double width, double left, double top);

    // Drops an unfinished document.
    void Abort();
    int pageCount() const;
    const QString &fileName() const { return m_path; }

private:
    struct Rgb {
        double r = 0, g = 0, b = 0;
        bool operator==(const Rgb &) const = default;
    };

    void requireOpen(const char *operation) const;
    void endPage();
    void startPage();
    // A point given top-down, as PDF user space has it (y up from the bottom edge).
    void point(double x, double y, const char *op);
    void number(double value);
    void colour(const Rgb &color, Rgb &held, const char *op);
    void fill(const Rgb &color);
    void stroke(const Rgb &color);
    void endPath(const char *op);
    void decoration(double x, double y, double cosine, double sine, double along, double offset, double thickness);
    void publish();

    std::unique_ptr<RealisedFontCache> m_ownFonts;
    RealisedFontCache &m_fonts;
    QString m_path;
    QString m_partPath;
    // Holds the part file's lock until it is published: the writer closes its own
    // descriptor before that.
    UniqueFd m_partLock;
    std::unique_ptr<PdfDocumentFile> m_file;
    QByteArray m_content;
    bool m_documentLandscape = false;
    bool m_pageLandscape = false;

    const RealisedFont *m_font = nullptr;
    double m_size = 12;
    bool m_underline = false;
    bool m_strikeOut = false;
    QByteArray m_shownFont; // the resource and size of the page's last Tf
    double m_shownSize = 0;

    Rgb m_textColor;
    Rgb m_lineColor;
    Rgb m_fillColor{1, 1, 1};
    Rgb m_pageFill;   // what the page's graphics state holds now
    Rgb m_pageStroke;
    double m_lineWidth = 1;
    QByteArray m_dash = "[] 0";
    bool m_pathOpen = false;
    // An image added, by the resource name it was written under, or until it is written.
    struct Image {
        QImage image;
        QByteArray name;
    };
    QList<Image> m_images;
};

} // namespace ostrevo
