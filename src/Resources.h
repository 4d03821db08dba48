// Identifiers of the program's string resources (texts in res/strings.def).
#pragma once

#include <string_view>

namespace extmerge {

enum StringId : int {
#define EXTMERGE_STRING(sym, id, text) sym = id,
#include "strings.def"
#undef EXTMERGE_STRING
};

// The text of a string resource as written in strings.def (UTF-8), for the
// layers that have no resource section and convert it themselves; empty for
// an unknown id.
std::string_view ResourceSourceText(int id);

}  // namespace extmerge
