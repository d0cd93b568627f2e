#pragma once

#include <string>
#include <vector>

#include "platform/paths/wine_prefix.h"

// A Wine prefix that holds the browser, and the browser's folder in it.
struct BrowserPrefix {
  platform::WinePrefixFolder prefix;
  std::string browserDirectory;  // GetBrowserDirectory() answered in it; never empty
};

// Settles, once at start-up, which Wine prefix the program reads, the way a
// user who starts it from the desktop menu means it, and uses it
// (platform::UseWinePrefix): the prefix WINEPREFIX names; else ~/.wine when
// the browser is found there; else the one of the user's other prefixes
// (platform::OtherWinePrefixes) where it is found; else ~/.wine. Each
// prefix is asked with GetBrowserDirectory(), as the dialog will ask.
// When the browser is found in several of the other prefixes, ~/.wine stays
// in use and they are returned, in search order, for the user to pick one
// (platform::UseWinePrefix on the pick's prefix); otherwise the answer is
// empty. Nothing is stored. Windows has no prefixes: nothing is done.
std::vector<BrowserPrefix> ChooseWinePrefix();
