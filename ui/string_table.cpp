#include "ui/string_table.h"

std::string LoadResourceString(int id) {
  switch (id) {
#define QW_STRING(number, name, text) \
  case number:                        \
    return std::string(text, sizeof(text) - 1);
#include "ui/string_table.inc"
#undef QW_STRING
    default: return {};
  }
}
