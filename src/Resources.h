// Identifiers of the program's string resources (texts in res/strings.def).
#pragma once

namespace extmerge {

enum StringId : int {
#define EXTMERGE_STRING(sym, id, text) sym = id,
#include "strings.def"
#undef EXTMERGE_STRING
};

}  // namespace extmerge
