#pragma once

#include "forms/FormState.h"

#include <QByteArray>

namespace ostrevo {

class FormSource;
struct FormAttributeKey;
struct FormPlace;

// The key sections of the two files, each read after its tag line up to "<END>": lines
// KEY=value (comment cut, key upper-cased, value trimmed); other lines and unknown keys
// are passed over. A malformed strict value throws ConversionError naming the place.

// <PIT>: the job parameters. `tagLine` is the line that held the tag.
void ReadFormJobParams(FormSource &source, const QByteArray &tagLine, FormJobParams &params);
// <PARAMETERS>: the template header.
void ReadFormTemplateHeader(FormSource &source, const QByteArray &tagLine, FormTemplateHeader &header);
// <DEFAULT>: the source's default slot; paddings in millimetres scaled by `wsp`.
void ReadFormDefaults(FormSource &source, const QByteArray &tagLine, FormAttributes &defaults, double wsp);

// A value of a <DEFAULT> section into `into`: an integer that does not parse gives the
// built-in value; colours and paddings must parse.
void SetFormDefault(FormAttributes &into, const FormAttributeKey &key, const QByteArray &value, double wsp,
                    const FormPlace &place);

} // namespace ostrevo
