#include "ui/product_text.h"

#include "patch/world_patcher.h"

const std::string& AboutText() {
  static const std::string text = std::string(kProductName) + " \n" + "Ver 1.0\n" + "No more bumps,\n" +
                                  "just walks.\n" + std::string(kHomePage);
  return text;
}
