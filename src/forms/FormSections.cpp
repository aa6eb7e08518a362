#include "forms/FormSections.h"

#include "forms/FormAttributes.h"
#include "forms/FormSource.h"
#include "forms/FormValues.h"
#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"

#include <limits>

namespace ostrevo {

namespace {

// Calls `take` for each key line of the section after `tagLine`.
template <typename Take>
void ForEachKeyLine(FormSource &source, const QByteArray &tagLine, Take take)
{
    if (HoldsTag(tagLine, "<END>"))
        return;
    while (auto raw = source.next()) {
        const QByteArray line = RemoveComment(*raw);
        if (HoldsTag(line, "<END>"))
            return;
        if (auto kv = ParseKeyLine(line))
            take(*kv);
    }
}

template <typename T>
void SetLenient(T &into, const QByteArray &value)
{
    const auto number = ParseFormInteger(value);
    if (number && *number >= std::numeric_limits<T>::min() && *number <= std::numeric_limits<T>::max())
        into = T(*number);
}

} // namespace

void ReadFormJobParams(FormSource &source, const QByteArray &tagLine, FormJobParams &params)
{
    ForEachKeyLine(source, tagLine, [&](const KeyLine &kv) {
        if (kv.key == "TEMPLATE")
            params.templateName = kv.value;
        else if (kv.key == "EVEN")
            SetLenient(params.even, kv.value);
        else if (kv.key == "COPIES")
            SetLenient(params.copies, kv.value);
        else if (kv.key == "FROM_PAGE")
            SetLenient(params.fromPage, kv.value);
        else if (kv.key == "TO_PAGE")
            SetLenient(params.toPage, kv.value);
        else if (kv.key == "DUPLEX")
            SetLenient(params.duplex, kv.value);
        else if (kv.key == "PDF_FILE") {
            params.pdfFile = kv.value;
            params.hasPdfFile = true;
        } else if (kv.key == "PDF_PATH")
            params.pdfPath = kv.value;
        else if (kv.key == "A_MAIL")
            params.aMail = kv.value;
        else if (kv.key == "T_MAIL")
            params.tMail = kv.value;
    });
}

void ReadFormTemplateHeader(FormSource &source, const QByteArray &tagLine, FormTemplateHeader &header)
{
    ForEachKeyLine(source, tagLine, [&](const KeyLine &kv) {
        if (kv.key == "NAME")
            header.name = kv.value.left(59);
        else if (kv.key == "VERSION")
            header.version = kv.value.left(12);
        else if (kv.key == "FILENAME")
            header.fileName = kv.value.left(12);
        else if (kv.key == "PAGE")
            SetLenient(header.page, kv.value);
        else if (kv.key == "WSP") {
            const auto wsp = ParseFormDecimal(kv.value);
            if (!wsp)
                throw ConversionError(QStringLiteral("%1: WSP=%2 nie jest liczbą")
                                          .arg(source.place().text(), Cp852ToUnicode(kv.value)));
            // Every coordinate is multiplied by it: nothing but a positive scale draws a form.
            if (!(*wsp > 0 && *wsp <= 1000))
                throw ConversionError(QStringLiteral("%1: WSP=%2 nie jest skalą od 0 do 1000")
                                          .arg(source.place().text(), Cp852ToUnicode(kv.value)));
            header.wsp = *wsp;
        }
    });
}

void SetFormDefault(FormAttributes &into, const FormAttributeKey &key, const QByteArray &value, double wsp,
                    const FormPlace &place)
{
    const auto fail = [&](const char *what) {
        throw ConversionError(QStringLiteral("%1: %2=%3 nie jest %4")
                                  .arg(place.text(), QLatin1StringView(key.name), Cp852ToUnicode(value),
                                       QString::fromUtf8(what)));
    };
    switch (key.kind) {
    case FormAttributeKey::Colour: {
        const auto colour = ParseFormColour(value);
        if (!colour)
            fail("kolorem (cyfry szesnastkowe)");
        StoreFormAttribute(into, key, *colour);
        return;
    }
    case FormAttributeKey::Padding: {
        const auto number = ParseFormInteger(value);
        if (!number)
            fail("liczbą całkowitą");
        StoreFormAttribute(into, key, FormHundredths(*number, wsp, 1));
        return;
    }
    default: {
        const auto number = ParseFormInteger(value);
        if (!number || !StoreFormAttribute(into, key, *number))
            StoreFormAttribute(into, key, FormAttributeValue(FormAttributeSlots::builtIn(), key));
        return;
    }
    }
}

void ReadFormDefaults(FormSource &source, const QByteArray &tagLine, FormAttributes &defaults, double wsp)
{
    ForEachKeyLine(source, tagLine, [&](const KeyLine &kv) {
        if (const FormAttributeKey *key = FindFormAttributeKey(kv.key))
            SetFormDefault(defaults, *key, kv.value, wsp, source.place());
    });
}

} // namespace ostrevo
