#include "devices/TpiPDFDocument.h"

#include "devices/FreeFileName.h"

#include "devices/PdfDocumentFile.h"
#include "devices/PdfSyntax.h"
#include "devices/RealisedFont.h"
#include "devices/RealisedFontCache.h"

#include <QFile>

#include <utility>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

// A4 in whole points, as readers name it.
constexpr int SheetShort = 595;
constexpr int SheetLong = 842;
// Faces are realised once at an em of 1000 units: their advances are then the glyph
// widths of the PDF font itself (9.2.4), and every size is just a Tf.
constexpr int EmUnits = 1000;
constexpr int Decimals = 3;

QString Reason(int err)
{
    return ErrnoText(err);
}

// A full disk or a read-only file system may clear; a path the job named wrongly will not.
[[noreturn]] void ThrowFileError(const QString &what, const QString &path, int err)
{
    const QString message = QStringLiteral("%1 %2: %3").arg(what, path, Reason(err));
    if (err == ENOSPC || err == EDQUOT || err == EFBIG || err == EROFS || err == EIO)
        throw OutputUnavailable(message);
    throw PdfError(message);
}

void Direction(double degrees, double &cosine, double &sine)
{
    const double turn = std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
    if (turn == 0) {
        cosine = 1, sine = 0;
    } else if (turn == 90) {
        cosine = 0, sine = 1;
    } else if (turn == 180) {
        cosine = -1, sine = 0;
    } else if (turn == 270) {
        cosine = 0, sine = -1;
    } else {
        cosine = std::cos(turn * M_PI / 180.0);
        sine = std::sin(turn * M_PI / 180.0);
    }
}

double Component(double value)
{
    return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
}

} // namespace

TpiPDFDocument::TpiPDFDocument()
    : m_ownFonts(std::make_unique<RealisedFontCache>())
    , m_fonts(*m_ownFonts)
{
}

TpiPDFDocument::TpiPDFDocument(RealisedFontCache &fonts)
    : m_fonts(fonts)
{
}

TpiPDFDocument::~TpiPDFDocument()
{
    Abort();
}

void TpiPDFDocument::SetFileName(const QString &path)
{
    if (m_file)
        throw PdfError(QStringLiteral("Nazwa pliku PDF nie może się zmienić w trakcie dokumentu"));
    m_path = path;
}

void TpiPDFDocument::requireOpen(const char *operation) const
{
    if (!m_file)
        throw PdfError(QStringLiteral("%1 poza dokumentem PDF").arg(QLatin1StringView(operation)));
}

void TpiPDFDocument::BeginDoc()
{
    if (m_file)
        throw PdfError(QStringLiteral("Dokument PDF jest już otwarty"));
    if (m_path.isEmpty())
        throw PdfError(QStringLiteral("Nie podano nazwy pliku dokumentu PDF"));
    const QFileInfo target(m_path);
    if (m_path.endsWith(u'/') || target.isDir())
        throw PdfError(QStringLiteral("Nie można zapisać pliku PDF %1: to jest katalog").arg(m_path));
    const QString dir = target.absolutePath();
    struct stat st;
    if (::stat(QFile::encodeName(dir).constData(), &st) != 0)
        ThrowFileError(QStringLiteral("Nie można zapisać pliku PDF w katalogu"), dir, errno);
    if (!S_ISDIR(st.st_mode))
        ThrowFileError(QStringLiteral("Nie można zapisać pliku PDF w katalogu"), dir, ENOTDIR);

    // A short name of our own beside the final one, so that any file name fits and the
    // rename that publishes it stays within one file system. It is locked while it is
    // written, so the part files that killed runs left here can go without taking a live
    // one (another monitor may write into the same folder).
    RemoveStalePartFiles(dir);
    int error = 0;
    PartFile part = CreatePartFile(dir, QStringLiteral("ostrevo"), error);
    if (part.fd.fd < 0)
        ThrowFileError(QStringLiteral("Nie można zapisać pliku PDF"), m_path, error);
    const int fd = std::exchange(part.fd.fd, -1);
    m_partPath = part.path;
    m_partLock = UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    m_file = std::make_unique<PdfDocumentFile>();
    if (!m_file->open(fd)) {
        ::close(fd);
        ::unlink(QFile::encodeName(m_partPath).constData());
        m_partPath.clear();
        m_file.reset();
        throw PdfError(QStringLiteral("Nie można zapisać pliku PDF %1").arg(m_path));
    }
    m_images.clear();
    m_pageLandscape = false;
    startPage();
}

void TpiPDFDocument::startPage()
{
    m_content.clear();
    m_content.reserve(64 * 1024);
    m_pageLandscape = false;
    m_shownFont.clear();
    m_pageFill = Rgb{};
    m_pageStroke = Rgb{};
    m_pathOpen = false;
    // Round caps and joins, so that frame strokes meet without notches; the line settings
    // outlast the page, as the document's own do.
    m_content.append("1 J 1 j ");
    number(m_lineWidth);
    m_content.append(" w ").append(m_dash).append(" d\n");
}

void TpiPDFDocument::endPage()
{
    if (m_pathOpen)
        endPath("n");
    const QSizeF sheet = m_documentLandscape ? QSizeF(SheetLong, SheetShort) : QSizeF(SheetShort, SheetLong);
    m_file->addPage(m_content, sheet, m_pageLandscape ? 90 : 0);
}

void TpiPDFDocument::NewPage()
{
    requireOpen("NewPage");
    endPage();
    startPage();
}

void TpiPDFDocument::EndDoc()
{
    requireOpen("EndDoc");
    endPage();
    std::unique_ptr<PdfDocumentFile> file = std::move(m_file);
    if (!file->finish(QFileInfo(m_path).completeBaseName())) {
        const int err = file->errorNumber() ? file->errorNumber() : EIO;
        ::unlink(QFile::encodeName(m_partPath).constData());
        m_partPath.clear();
        ThrowFileError(QStringLiteral("Nie można zapisać pliku PDF"), m_path, err);
    }
    publish();
}

void TpiPDFDocument::publish()
{
    const QString part = m_partPath;
    m_partPath.clear();
    const UniqueFd lock = std::move(m_partLock);
    // On disk before it takes the name: the job's files are deleted right after this.
    if (const int err = PublishPart(part, m_path); err != 0)
        ThrowFileError(QStringLiteral("Nie można zapisać pliku PDF"), m_path, err);
}

void TpiPDFDocument::Abort()
{
    if (!m_file)
        return;
    m_file->discard();
    m_file.reset();
    if (!m_partPath.isEmpty())
        ::unlink(QFile::encodeName(m_partPath).constData());
    m_partPath.clear();
    m_partLock = UniqueFd();
}

int TpiPDFDocument::pageCount() const
{
    return m_file ? m_file->pageCount() : 0;
}

int TpiPDFDocument::GetPageWidth() const
{
    return m_documentLandscape ? SheetLong : SheetShort;
}

int TpiPDFDocument::GetPageHeight() const
{
    return m_documentLandscape ? SheetShort : SheetLong;
}

void TpiPDFDocument::SetDocumentLandscape(int landscape)
{
    m_documentLandscape = landscape != 0;
}

void TpiPDFDocument::SetPageLandscape(int landscape)
{
    m_pageLandscape = landscape != 0;
}

void TpiPDFDocument::SetFont(const QString &faceName, bool bold, bool italic, bool underline, bool strikeOut,
                             double size, int charSet)
{
    if (!std::isfinite(size) || size <= 0 || size > 10000)
        throw PdfError(QStringLiteral("Rozmiar czcionki %1 poza zakresem").arg(size));
    LogFont font;
    font.height = -EmUnits;
    font.weight = bold ? 700 : 400;
    font.italic = italic;
    font.charSet = charSet;
    font.faceName = faceName;
    m_font = &m_fonts.get(font);
    m_size = size;
    m_underline = underline;
    m_strikeOut = strikeOut;
}

double TpiPDFDocument::GetTextWidth(const QByteArray &text)
{
    if (!m_font)
        SetFont(QStringLiteral("Arial"), false, false, false, false, 12, 238);
    return m_font->textWidth(text) * m_size / EmUnits;
}

void TpiPDFDocument::number(double value)
{
    if (!std::isfinite(value))
        throw PdfError(QStringLiteral("Współrzędna dokumentu PDF nie jest liczbą"));
    AppendPdfReal(m_content, value, Decimals);
}

void TpiPDFDocument::point(double x, double y, const char *op)
{
    number(x);
    m_content.append(' ');
    number(GetPageHeight() - y);
    m_content.append(' ').append(op).append('\n');
}

void TpiPDFDocument::colour(const Rgb &color, Rgb &held, const char *op)
{
    if (held == color)
        return;
    held = color;
    for (double c : {color.r, color.g, color.b}) {
        AppendPdfReal(m_content, c, Decimals);
        m_content.append(' ');
    }
    m_content.append(op).append('\n');
}

void TpiPDFDocument::fill(const Rgb &color)
{
    colour(color, m_pageFill, "rg");
}

void TpiPDFDocument::stroke(const Rgb &color)
{
    colour(color, m_pageStroke, "RG");
}

void TpiPDFDocument::ShowText(double x, double y, double angle, const QByteArray &text)
{
    requireOpen("ShowText");
    if (text.isEmpty())
        return;
    if (!m_font)
        GetTextWidth({});
    if (m_pathOpen)
        endPath("n");
    double cosine, sine;
    Direction(angle, cosine, sine);
    const double k = m_size / EmUnits;
    const double ascent = m_font->ascent() * k;
    // In PDF space (y up): along the text (cos, sin), down the glyphs (sin, -cos); the
    // baseline lies an ascent below the cell's top edge.
    const double originX = x + ascent * sine;
    const double originY = (GetPageHeight() - y) - ascent * cosine;

    // Blanks at either end leave no ink: the string starts at the first glyph that has.
    const auto [first, last] = InkOf(text);
    if (first < last) {
        PdfFontSet::Font &pdfFont = m_file->fonts().fontFor(*m_font);
        const double skip = m_font->textWidth(text.left(first)) * k;
        fill(m_textColor);
        m_content.append("BT ");
        if (m_shownFont != pdfFont.resourceName || m_shownSize != m_size) {
            m_shownFont = pdfFont.resourceName;
            m_shownSize = m_size;
            m_content.append('/').append(pdfFont.resourceName).append(' ');
            number(m_size);
            m_content.append(" Tf ");
        }
        const double values[6] = {cosine, sine, -sine, cosine, originX + skip * cosine, originY + skip * sine};
        for (double v : values) {
            number(v);
            m_content.append(' ');
        }
        m_content.append("Tm ");
        PdfFontSet::AppendGlyphString(m_content, pdfFont, text.constData() + first, text.constData() + last);
        m_content.append(" Tj ET\n");
    }
    if (m_underline || m_strikeOut) {
        const QRawFont &raw = m_font->rawFont();
        const double along = m_font->textWidth(text) * k;
        const double thickness = std::max(raw.lineThickness() * k, 0.25);
        if (m_underline)
            decoration(originX, originY, cosine, sine, along, -raw.underlinePosition() * k, thickness);
        if (m_strikeOut)
            decoration(originX, originY, cosine, sine, along, raw.ascent() / 3 * k, thickness);
    }
}

void TpiPDFDocument::decoration(double x, double y, double cosine, double sine, double along, double offset,
                                double thickness)
{
    // A solid line in the text's colour, `offset` above the baseline; q/Q keep the line
    // settings of the document.
    const double fromX = x - offset * sine;
    const double fromY = y + offset * cosine;
    m_content.append("q 0 J [] 0 d ");
    for (double c : {m_textColor.r, m_textColor.g, m_textColor.b}) {
        AppendPdfReal(m_content, c, Decimals);
        m_content.append(' ');
    }
    m_content.append("RG ");
    number(thickness);
    m_content.append(" w ");
    number(fromX);
    m_content.append(' ');
    number(fromY);
    m_content.append(" m ");
    number(fromX + along * cosine);
    m_content.append(' ');
    number(fromY + along * sine);
    m_content.append(" l S Q\n");
}

void TpiPDFDocument::Scale(double horizontal, double vertical)
{
    requireOpen("Scale");
    if (!std::isfinite(horizontal) || !std::isfinite(vertical) || horizontal == 0 || vertical == 0)
        throw PdfError(QStringLiteral("Skalowanie o %1 i %2 nie jest możliwe").arg(horizontal).arg(vertical));
    if (m_pathOpen)
        endPath("n");
    number(horizontal);
    m_content.append(" 0 0 ");
    number(vertical);
    m_content.append(" 0 0 cm\n");
}

void TpiPDFDocument::SetLineWidth(double width)
{
    if (!std::isfinite(width) || width < 0)
        throw PdfError(QStringLiteral("Grubość linii %1 poza zakresem").arg(width));
    m_lineWidth = width;
    if (m_file) {
        number(width);
        m_content.append(" w\n");
    }
}

void TpiPDFDocument::SetDash(const QString &dash)
{
    // Only numbers go into the content: the array's lengths, then the phase (8.4.3.6).
    static const QRegularExpression form(QStringLiteral(R"(^\s*\[\s*((?:\d+(?:\.\d+)?\s*)*)\]\s*(\d+(?:\.\d+)?)\s*$)"));
    const QRegularExpressionMatch match = form.match(dash);
    if (!match.hasMatch())
        throw PdfError(QStringLiteral("To nie jest wzór linii przerywanej: \"%1\"").arg(dash));
    QByteArray value = "[";
    const QStringList lengths = match.captured(1).split(u' ', Qt::SkipEmptyParts);
    bool anyLength = false;
    for (const QString &length : lengths) {
        if (value.size() > 1)
            value.append(' ');
        value.append(length.toLatin1());
        anyLength = anyLength || length.toDouble() > 0;
    }
    // All zeros would draw nothing in some readers and be an error in others.
    if (!anyLength)
        value = "[";
    value.append("] ").append(anyLength ? match.captured(2).toLatin1() : QByteArray("0"));
    m_dash = value;
    if (m_file)
        m_content.append(m_dash).append(" d\n");
}

void TpiPDFDocument::SetColor(double red, double green, double blue)
{
    m_textColor = m_lineColor = Rgb{Component(red), Component(green), Component(blue)};
}

void TpiPDFDocument::SetFillColor(double red, double green, double blue)
{
    m_fillColor = Rgb{Component(red), Component(green), Component(blue)};
}

void TpiPDFDocument::SetStrokeColor(double red, double green, double blue)
{
    m_lineColor = Rgb{Component(red), Component(green), Component(blue)};
}

void TpiPDFDocument::MoveTo(double x, double y)
{
    requireOpen("MoveTo");
    point(x, y, "m");
    m_pathOpen = true;
}

void TpiPDFDocument::LineTo(double x, double y)
{
    requireOpen("LineTo");
    if (!m_pathOpen)
        point(x, y, "m");
    point(x, y, "l");
    m_pathOpen = true;
}

void TpiPDFDocument::Rectangle(double left, double top, double right, double bottom)
{
    requireOpen("Rectangle");
    number(left);
    m_content.append(' ');
    number(GetPageHeight() - bottom);
    m_content.append(' ');
    number(right - left);
    m_content.append(' ');
    number(bottom - top);
    m_content.append(" re\n");
    m_pathOpen = true;
}

void TpiPDFDocument::endPath(const char *op)
{
    m_content.append(op).append('\n');
    m_pathOpen = false;
}

void TpiPDFDocument::Stroke()
{
    requireOpen("Stroke");
    if (!m_pathOpen)
        return;
    stroke(m_lineColor);
    endPath("S");
}

void TpiPDFDocument::PaintPath()
{
    requireOpen("PaintPath");
    if (!m_pathOpen)
        return;
    stroke(m_lineColor);
    fill(m_fillColor);
    endPath("B");
}

void TpiPDFDocument::StrokeLines(const QVector<QLineF> &lines)
{
    requireOpen("StrokeLines");
    Stroke();
    if (lines.isEmpty())
        return;
    double top = lines.constFirst().y1();
    for (const QLineF &line : lines)
        top = std::min({top, line.y1(), line.y2()});
    stroke(m_lineColor);
    m_content.append("q 1 0 0 1 0 ");
    number(GetPageHeight() - top);
    m_content.append(" cm\n");
    for (const QLineF &line : lines) {
        number(line.x1());
        m_content.append(' ');
        number(top - line.y1());
        m_content.append(" m ");
        number(line.x2());
        m_content.append(' ');
        number(top - line.y2());
        m_content.append(" l\n");
    }
    m_content.append("S Q\n");
}

int TpiPDFDocument::AddImage(const QImage &image, int)
{
    if (image.isNull())
        throw PdfError(QStringLiteral("Pustego obrazu nie można dodać do dokumentu PDF"));
    // Into the file at once while a document is open, so that a job of hundreds of
    // barcodes keeps none of their bitmaps; only until the document opens otherwise.
    if (m_file)
        m_images.append({QImage(), m_file->images().nameFor(image)});
    else
        m_images.append({image, QByteArray()});
    return int(m_images.size() - 1);
}

void TpiPDFDocument::ShowImage(int index, double angle, double height, double width, double left, double top)
{
    requireOpen("ShowImage");
    if (index < 0 || index >= m_images.size())
        throw PdfError(QStringLiteral("Brak obrazu %1 w dokumencie PDF").arg(index));
    if (m_pathOpen)
        endPath("n");
    Image &registered = m_images[index];
    if (registered.name.isEmpty()) {
        registered.name = m_file->images().nameFor(registered.image);
        registered.image = QImage();
    }
    const QByteArray name = registered.name;
    double cosine, sine;
    Direction(angle, cosine, sine);
    // The unit square (8.9.4) onto the image turned about its top-left corner: its first
    // row at the top.
    const double cornerX = left;
    const double cornerY = GetPageHeight() - top;
    const double values[6] = {width * cosine, width * sine, -height * sine, height * cosine,
                              cornerX + height * sine, cornerY - height * cosine};
    m_content.append("q ");
    for (double v : values) {
        number(v);
        m_content.append(' ');
    }
    m_content.append("cm /").append(name).append(" Do Q\n");
}

} // namespace ostrevo
