#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "config/component.h"

namespace wavenard {

// The complete object text of a record, the content of its settings file. Getters are called once
// per written property, under the record's value access.
QByteArray WriteObjectText(const TComponent& ARecord);

// Applies a complete object text to an existing record, line by line in the order of the text.
// Lines for properties the record lacks, and values that do not fit their property, are skipped.
// Throws ESyntaxFailure ("<reason> on line <n>") when the text is not object text; nothing is
// applied then. Throws EFileFailure when a string list entry holds something other than strings;
// the lines before it stay applied.
void ReadObjectText(QByteArrayView AText, TComponent& ARecord);

}  // namespace wavenard
