#pragma once

#include <QByteArray>
#include <QList>

namespace ostrevo {

// One line of a page section, after its comment is cut: an assignment KEY=value, an
// object KIND(p1,p2,...) or anything else. Whichever of "=" and "(" comes first decides;
// one that is the line's last character does not count.
struct FormLine {
    enum Type { Other, Assignment, Object };
    Type type = Other;
    QByteArray key;              // the key or kind, trimmed and upper-cased
    QByteArray value;            // an assignment's value, trimmed
    QList<QByteArray> params;    // an object's parameters, between "(" and the first ")"
};

// The parameters an object keeps: more than any object reads.
inline constexpr qsizetype FormLineParameterLimit = 16;

FormLine ClassifyFormLine(const QByteArray &line);

// The parameters of an `L` object keep their blanks (only leading ones parse); every other
// kind has its blanks removed. Counts, boxes and flags are read from these.
QByteArray FormParameter(const FormLine &line, qsizetype index);

// Lines of the page loop's searches: "<PAGE>" matches any page, "<PAGEn>" page n only.
bool HoldsPageMarker(const QByteArray &line, int page);

} // namespace ostrevo
