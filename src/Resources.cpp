#include "Resources.h"

namespace extmerge {

std::string_view ResourceSourceText(int id) {
  switch (id) {
#define EXTMERGE_STRING(sym, num, text) \
  case num:                             \
    return text;
#include "strings.def"
#undef EXTMERGE_STRING
  }
  return std::string_view();
}

}  // namespace extmerge
