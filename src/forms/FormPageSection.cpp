#include "forms/FormPageSection.h"

#include "devices/TAsBarcode.h"
#include "forms/FormBarcodeModule.h"
#include "forms/FormDrawer.h"
#include "forms/FormLine.h"
#include "forms/FormSource.h"
#include "forms/FormValues.h"
#include "handling/RenderReport.h"
#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "jobs/Rounding.h"

#include <algorithm>

namespace ostrevo {

namespace {

QByteArray TrimRight(const QByteArray &text)
{
    qsizetype end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    return text.left(end);
}

std::int32_t ClampCoordinate(std::int64_t value)
{
    return std::int32_t(std::clamp<std::int64_t>(value, -FormCoordinateLimit, FormCoordinateLimit));
}

[[noreturn]] void Fail(const FormSource &source, const QString &what)
{
    throw ConversionError(QStringLiteral("%1: %2").arg(source.place().text(), what));
}

} // namespace

FormPageSection::FormPageSection(FormState &state, FormDrawer &drawer, FormBackground background, RenderReport *report)
    : m_state(state), m_drawer(drawer), m_background(background), m_report(report)
{
}

FormAttributes &FormPageSection::current(const FormSource &source)
{
    return m_state.attributes.current(source.id());
}

void FormPageSection::read(FormSource &source)
{
    m_state.attributes.resetText(source.id(), m_background.whitenOnReset());
    m_state.attributes.resetLines(source.id(), m_background.whitenOnReset());
    m_drawer.setPageScale(m_state.pageSize());
    std::optional<QByteArray> pending;
    for (;;) {
        std::optional<QByteArray> raw = std::move(pending);
        pending.reset();
        if (!raw)
            raw = source.next();
        if (!raw)
            return;
        const bool goOn = handleLine(source, *raw, pending);
        m_drawer.setPageScale(m_state.pageSize());
        if (!goOn)
            return;
    }
}

bool FormPageSection::handleLine(FormSource &source, const QByteArray &raw, std::optional<QByteArray> &pending)
{
    const QByteArray line = RemoveComment(raw);
    if (HoldsTag(line, "<END>"))
        return false;
    const FormLine parsed = ClassifyFormLine(line);
    switch (parsed.type) {
    case FormLine::Assignment:
        assign(source, parsed);
        return true;
    case FormLine::Object:
        return object(source, parsed, pending);
    case FormLine::Other:
        return true;
    }
    return true;
}

void FormPageSection::assign(FormSource &source, const FormLine &line)
{
    const auto sizeValue = [&](std::uint16_t &into, const char *what) {
        const auto number = ParseFormInteger(line.value);
        if (!number || *number < 0 || *number > 65535)
            return false;
        // A zero would divide every coordinate or the page scale by nothing.
        if (*number == 0)
            Fail(source, QStringLiteral("%1=0: %2 musi wynosić co najmniej 1")
                             .arg(QString::fromLatin1(line.key), QString::fromUtf8(what)));
        into = std::uint16_t(*number);
        return true;
    };
    if (line.key == "ORIENTATION")
        return; // taken from the template by the pre-scan
    if (line.key == "MAXX") {
        m_state.maxXGiven = sizeValue(m_state.maxX, "szerokość formularza w milimetrach") || m_state.maxXGiven;
        return;
    }
    if (line.key == "MAXY") {
        m_state.maxYGiven = sizeValue(m_state.maxY, "wysokość formularza w milimetrach") || m_state.maxYGiven;
        return;
    }
    if (line.key == "MMJEDN") {
        std::uint16_t unit = std::uint16_t(m_state.mmjedn[source.id()]);
        sizeValue(unit, "liczba jednostek współrzędnych w milimetrze");
        m_state.mmjedn[source.id()] = unit;
        return;
    }
    const FormAttributeKey *key = FindFormAttributeKey(line.key);
    if (!key || key->defaultOnly)
        return;
    FormAttributes &into = current(source);
    const auto strictNumber = [&]() {
        const auto number = ParseFormInteger(line.value);
        if (!number)
            Fail(source, QStringLiteral("%1=%2 nie jest liczbą całkowitą")
                             .arg(QLatin1StringView(key->name), Cp852ToUnicode(line.value)));
        return *number;
    };
    switch (key->kind) {
    case FormAttributeKey::Integer:
        if (const auto number = ParseFormInteger(line.value))
            StoreFormAttribute(into, *key, *number);
        return;
    case FormAttributeKey::Colour: {
        const auto colour = ParseFormColour(line.value);
        if (!colour)
            Fail(source, QStringLiteral("%1=%2 nie jest kolorem (cyfry szesnastkowe)")
                             .arg(QLatin1StringView(key->name), Cp852ToUnicode(line.value)));
        if (line.key == "B_FILL" && m_background.ignoreFillLines())
            return;
        StoreFormAttribute(into, *key, *colour);
        return;
    }
    case FormAttributeKey::Padding:
        StoreFormAttribute(into, *key, FormHundredths(strictNumber(), m_state.header.wsp, m_state.mmjedn[source.id()]));
        return;
    case FormAttributeKey::Spacing: {
        const auto number = ParseFormInteger(line.value);
        StoreFormAttribute(into, *key, number ? FormScaled(*number, m_state.header.wsp) : 0);
        return;
    }
    case FormAttributeKey::Thickness:
        StoreFormAttribute(into, *key, strictNumber());
        return;
    }
}

std::int64_t FormPageSection::strict(FormSource &source, const FormLine &line, qsizetype index)
{
    const auto number = ParseFormInteger(FormParameter(line, index));
    if (!number) {
        if (index >= line.params.size())
            Fail(source, QStringLiteral("%1(...): brak parametru %2").arg(QString::fromLatin1(line.key)).arg(index + 1));
        Fail(source, QStringLiteral("%1(...): parametr %2 \"%3\" nie jest liczbą całkowitą")
                         .arg(QString::fromLatin1(line.key)).arg(index + 1).arg(Cp852ToUnicode(line.params.value(index))));
    }
    return *number;
}

std::int32_t FormPageSection::coordinate(FormSource &source, const FormLine &line, qsizetype index)
{
    return FormHundredths(strict(source, line, index), m_state.header.wsp, m_state.mmjedn[source.id()]);
}

FormPadding FormPageSection::padding(FormSource &source, const FormLine &line, qsizetype first)
{
    const FormAttributes &a = current(source);
    std::int32_t values[4] = {a.padLeft, a.padTop, a.padRight, a.padBottom};
    // Optional: an empty or unreadable one keeps the current padding.
    for (int i = 0; i < 4; ++i) {
        if (const auto number = ParseFormInteger(line.params.value(first + i)))
            values[i] = FormHundredths(*number, m_state.header.wsp, m_state.mmjedn[source.id()]);
    }
    return {values[0], values[1], values[2], values[3]};
}

bool FormPageSection::object(FormSource &source, const FormLine &line, std::optional<QByteArray> &pending)
{
    const QByteArray &kind = line.key;
    if (kind == "L") {
        m_drawer.applyLineAttributes(current(source));
        const std::int32_t x1 = coordinate(source, line, 0), y1 = coordinate(source, line, 1);
        const std::int32_t x2 = coordinate(source, line, 2), y2 = coordinate(source, line, 3);
        m_drawer.drawLine(x1, y1, x2, y2);
    } else if (kind == "B") {
        box(source, line, true);
    } else if (kind == "BX") {
        box(source, line, false);
    } else if (kind == "T1" || kind == "T2") {
        return textBlock(source, line, pending);
    } else if (kind == "TNUM") {
        numbering(source, line);
    } else if (kind == "K") {
        return barcode(source, line);
    } else if (kind == "LDEV" || kind == "L_DEV") {
        m_state.attributes.resetLines(source.id(), m_background.whitenOnReset());
        m_drawer.applyLineAttributes(current(source));
    } else if (kind == "TDEV" || kind == "T_DEV") {
        m_state.attributes.resetText(source.id(), m_background.whitenOnReset());
        m_drawer.applyTextAttributes(current(source));
    }
    return true;
}

void FormPageSection::missingBox(const FormSource &source, const char *object, std::int64_t number) const
{
    if (!m_report)
        return;
    const FormPlace at = source.place();
    m_report->notFound(QStringLiteral("pole %1").arg(number),
                             QStringLiteral("%1, wiersz %2: %3 w polu %4, którego wzorzec nie wyznacza (ani B, ani BX)")
                                 .arg(at.file)
                                 .arg(at.line)
                                 .arg(QLatin1StringView(object))
                                 .arg(number));
}

void FormPageSection::box(FormSource &source, const FormLine &line, bool draw)
{
    if (draw)
        m_drawer.applyLineAttributes(current(source));
    const std::int64_t number = strict(source, line, 0);
    if (!m_state.boxes.contains(number)) {
        if (draw)
            missingBox(source, "ramka B", number);
        return;
    }
    const FormRect corners{coordinate(source, line, 1), coordinate(source, line, 2), coordinate(source, line, 3),
                           coordinate(source, line, 4)};
    if (!draw) {
        m_state.boxes.record(number, corners);
        return;
    }
    const std::int64_t fill = strict(source, line, 5);
    m_drawer.drawBox(corners, std::int32_t(fill));
    // The row is the inside of the frame: half the line width and a tenth of a millimetre in.
    const std::int64_t inward = RoundHalfEven(current(source).lineThickness / 2.0 + 10);
    m_state.boxes.record(number, FormRect{ClampCoordinate(corners.left + inward), ClampCoordinate(corners.top + inward),
                                          ClampCoordinate(corners.right - inward),
                                          ClampCoordinate(corners.bottom - inward)});
}

bool FormPageSection::textBlock(FormSource &source, const FormLine &line, std::optional<QByteArray> &pending)
{
    const std::int64_t number = strict(source, line, 0);
    const std::int64_t count = strict(source, line, 1);
    const FormPadding pad = padding(source, line, 2);
    m_drawer.applyTextAttributes(current(source));
    if (!m_state.boxes.contains(number)) {
        missingBox(source, "tekst", number);
        return true; // its lines are read as lines of the section
    }
    if (m_report && m_state.boxes.row(number) == FormRect{})
        missingBox(source, "tekst", number);
    m_drawer.beginTextBlock(m_state.boxes.row(number), pad, int(std::clamp<std::int64_t>(count, 0, 1 << 30)));
    bool goOn = true;
    for (std::int64_t k = 1; k <= count; ++k) {
        const auto raw = source.next();
        if (!raw)
            break;
        // A count that runs past the section's end must not swallow the pages after it.
        if (HoldsTag(*raw, "<END>")) {
            goOn = false;
            break;
        }
        const QByteArray text = Cp852ToWin1250(TrimRight(*raw));
        const QByteArray trimmed = TrimControl(text);
        if (trimmed.startsWith("T1") || trimmed.startsWith("T2")) {
            pending = *raw;
            break;
        }
        if (HoldsTextBlockKey(UpperAscii(text))) {
            textBlockAttribute(source, text);
            m_drawer.applyTextAttributes(current(source));
            continue;
        }
        m_drawer.textLine(trimmed == "." ? QByteArray() : text, int(k));
    }
    m_drawer.endTextBlock();
    return goOn;
}

void FormPageSection::textBlockAttribute(FormSource &source, const QByteArray &line)
{
    const auto kv = ParseKeyLine(line);
    if (!kv)
        return;
    const FormAttributeKey *key = FindFormAttributeKey(kv->key);
    if (!key || !key->inTextBlock)
        return;
    FormAttributes &into = current(source);
    switch (key->kind) {
    case FormAttributeKey::Colour: {
        const auto colour = ParseFormColour(kv->value);
        if (!colour)
            Fail(source, QStringLiteral("%1=%2 nie jest kolorem (cyfry szesnastkowe)")
                             .arg(QLatin1StringView(key->name), Win1250ToUnicode(kv->value)));
        const bool whiten = kv->key == "T_BACKGROUND" && !m_background.ground;
        StoreFormAttribute(into, *key, whiten ? FormWhite : *colour);
        return;
    }
    case FormAttributeKey::Spacing: {
        const auto number = ParseFormInteger(kv->value);
        StoreFormAttribute(into, *key, number ? FormScaled(*number, m_state.header.wsp) : 0);
        return;
    }
    default:
        if (const auto number = ParseFormInteger(kv->value))
            StoreFormAttribute(into, *key, *number);
        return;
    }
}

void FormPageSection::numbering(FormSource &source, const FormLine &line)
{
    const std::int64_t first = strict(source, line, 0);
    const std::int64_t last = strict(source, line, 1);
    const std::int64_t start = strict(source, line, 2);
    m_drawer.applyTextAttributes(current(source));
    const FormPadding pad = padding(source, FormLine{}, 0);
    // Only the numbers inside the table are visited: TNUM(1,2000000000,1) is one pass
    // over the table, not two thousand million.
    const std::int64_t from = std::max<std::int64_t>(first, 0);
    const std::int64_t to = std::min<std::int64_t>(last, m_state.boxes.rows() - 1);
    for (std::int64_t box = from; box <= to; ++box)
        m_drawer.drawNumber(m_state.boxes.row(box), pad, start + (box - first));
}

bool FormPageSection::barcode(FormSource &source, const FormLine &line)
{
    const std::int64_t number = strict(source, line, 0);
    const FormPadding pad = padding(source, line, 2);
    m_drawer.applyTextAttributes(current(source));
    if (!m_state.boxes.contains(number)) {
        missingBox(source, "kod kreskowy K", number);
        return true;
    }
    if (m_report && m_state.boxes.row(number) == FormRect{})
        missingBox(source, "kod kreskowy K", number);
    const FormPlace at = source.place();
    const auto text = source.next();
    if (!text || HoldsTag(*text, "<END>"))
        throw ConversionError(
            QStringLiteral("%1: K(%2): brak wiersza z cyframi kodu kreskowego").arg(at.text()).arg(number));
    double module = 0;
    try {
        module = m_drawer.drawBarcode(m_state.boxes.row(number), pad, *text);
    } catch (const BarcodeError &error) {
        throw BarcodeError(QStringLiteral("%1: K(%2): kod kreskowy \"%3\" nie został narysowany: %4")
                               .arg(at.text())
                               .arg(number)
                               .arg(Cp852ToUnicode(text->trimmed()), BarcodeFailureText(error.message())));
    }
    if (m_report && module < ScannableBarcodeModuleMm)
        narrowBarcode(at, number, module);
    return true;
}

void FormPageSection::narrowBarcode(const FormPlace &at, std::int64_t number, double module) const
{
    const auto mm = [](double value, int decimals) {
        return QString::number(value, 'f', decimals).replace(u'.', u',');
    };
    const QString what = module > 0
                             ? QStringLiteral("kod kreskowy K w polu %1 ma moduł %2 mm").arg(number).arg(mm(module, 3))
                             : QStringLiteral("kod kreskowy K nie mieści się w polu %1 i nie zostanie narysowany").arg(number);
    m_report->add(RenderReport::Other, QStringLiteral("kod kreskowy w polu %1").arg(number),
                  QStringLiteral("%1, wiersz %2: %3; czytnik odczyta go pewnie dopiero przy module %4 mm, czyli w polu "
                                 "szerokim (bez marginesów) na co najmniej %5 mm")
                      .arg(at.file)
                      .arg(at.line)
                      .arg(what, mm(ScannableBarcodeModuleMm, 3), mm(100 * ScannableBarcodeModuleMm, 1)));
}

} // namespace ostrevo
