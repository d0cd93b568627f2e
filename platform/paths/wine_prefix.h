#pragma once

// Which Wine prefix the program reads. The Linux program reads one prefix,
// chosen once at start-up and then set for the whole process; the Windows
// program has no prefix, and every call here is then empty or does nothing.

#include <optional>
#include <string>
#include <vector>

namespace platform {

// How the prefix came to be the one read.
enum class WinePrefixOrigin {
  kNamed,    // WINEPREFIX named it (tests name theirs the same way)
  kDefault,  // Wine's own default, ~/.wine
  kFound,    // found among the user's other prefixes, or picked from them
};

// A Wine prefix on this machine.
struct WinePrefixFolder {
  std::string hostPath;  // the folder as the host names it; empty: no prefix
  std::string text;      // the same as ANSI text for messages, the home folder written "~"
  WinePrefixOrigin origin = WinePrefixOrigin::kNamed;
};

// The prefix the environment asks for, read when called (once, at start-up):
// WINEPREFIX when set and not empty (a relative one taken from the current
// folder), else ~/.wine in $HOME, else in the password database's home
// folder. nullopt when neither names one, and always on Windows.
std::optional<WinePrefixFolder> WinePrefixFromEnvironment();

// The user's other Wine prefixes, in the order they are searched: place by
// place as WinePrefixSearchPlaces() lists them, each place's folders by
// name. A folder counts when it holds drive_c or dosdevices; ~/.wine itself
// and a second way to the same folder are left out. Every one has origin
// kFound. Empty on Windows.
std::vector<WinePrefixFolder> OtherWinePrefixes();

// Where OtherWinePrefixes() looks, as text for a message ("~/.wine*",
// "~/Games/*", ...). Empty on Windows.
std::vector<std::string> WinePrefixSearchPlaces();

// Makes `folder` the prefix every platform operation reads from now on.
// Called at start-up before a second thread uses platform/, and by tests
// between their cases; a folder with an empty hostPath leaves the process
// without a prefix. No effect on Windows.
void UseWinePrefix(const WinePrefixFolder& folder);

// The prefix in use (an empty hostPath when there is none).
WinePrefixFolder WinePrefixInUse();

// The prefix folders searched for the browser, as text for the message that
// says it was not found: the prefix in use when WINEPREFIX named it, else
// ~/.wine and the places of WinePrefixSearchPlaces(). Empty on Windows.
std::vector<std::string> WinePrefixesSearched();

// The folder in use as the Wine prefix, as ANSI text for a message, when
// WINEPREFIX named it and it is no prefix at all (it holds neither
// dosdevices nor drive_c); nullopt otherwise. A default or found prefix is
// never named here: when ~/.wine is missing, the other prefixes are searched.
std::optional<std::string> FolderThatIsNoWinePrefix();

}  // namespace platform
