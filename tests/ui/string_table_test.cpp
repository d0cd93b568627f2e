#include "ui/string_table.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "ui/resource.h"

namespace {

// The table's lines, read as the program reads them; the numbers beside the
// names are checked against the names' own definitions.
struct Entry {
  int number;
  int named;
  std::string_view text;
};

constexpr Entry kEntries[] = {
#define QW_STRING(number, name, text) {number, name, std::string_view(text, sizeof(text) - 1)},
#include "ui/string_table.inc"
#undef QW_STRING
};

TEST(StringTableTest, EachLineLoadsUnderTheNumberItsNameHas) {
  for (const Entry& entry : kEntries) {
    EXPECT_EQ(entry.number, entry.named) << entry.text;
    EXPECT_EQ(LoadResourceString(entry.number), entry.text) << entry.number;
  }
  EXPECT_EQ(LoadResourceString(IDS_ABOUTBOX - 1), "");
  EXPECT_EQ(LoadResourceString(IDS_ACCESS_DENIED + 1), "");
  EXPECT_EQ(LoadResourceString(0), "");
}

}  // namespace
