#include "locate/browser_prefix.h"

#include <optional>
#include <utility>

#include "locate/browser_directory.h"

std::vector<BrowserPrefix> ChooseWinePrefix() {
  const std::optional<platform::WinePrefixFolder> asked = platform::WinePrefixFromEnvironment();
  if (!asked) return {};
  platform::UseWinePrefix(*asked);
  // A prefix the user named is the one meant, browser or not.
  if (asked->origin == platform::WinePrefixOrigin::kNamed || !GetBrowserDirectory().empty()) return {};

  std::vector<BrowserPrefix> holding;
  for (platform::WinePrefixFolder& candidate : platform::OtherWinePrefixes()) {
    platform::UseWinePrefix(candidate);
    std::string browser = GetBrowserDirectory();
    if (!browser.empty()) holding.push_back({std::move(candidate), std::move(browser)});
  }
  platform::UseWinePrefix(holding.size() == 1 ? holding.front().prefix : *asked);
  if (holding.size() == 1) holding.clear();
  return holding;
}
