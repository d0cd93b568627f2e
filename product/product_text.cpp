#include "product/product_text.h"

namespace {

// The home page as the About box shows it: without its scheme and closing
// slash, the whole address fits one line of the text control, which has room
// for five.
std::string_view ShownAddress(std::string_view address) {
  if (const std::size_t scheme = address.find("://"); scheme != std::string_view::npos)
    address.remove_prefix(scheme + 3);
  if (address.ends_with('/')) address.remove_suffix(1);
  return address;
}

}  // namespace

const std::string& AboutText() {
  static const std::string text = std::string(kProductName) + " \n" + "Ver 1.0\n" + "No more bumps,\n" +
                                  "just walks.\n" + std::string(ShownAddress(kHomePage));
  return text;
}
