#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "locate/browser_directory.h"
#include "patch/world_patcher.h"
#include "platform/files/world_folder.h"
#include "run/run_window.h"
#include "scan/world_scan.h"

// What the run calls besides the window. The defaults are the program's own;
// tests put fakes in their place.
struct BatchRunHooks {
  // Brings one file found under the run's world folder into the requested
  // state and classifies the outcome.
  std::function<PatchResult(platform::WorldFolder& worldFolder, const std::string& path, int mode)> patchFile =
      static_cast<PatchResult (*)(platform::WorldFolder&, const std::string&, int)>(PatchWorldFile);
  // The browser's install directory, for the titles shown: asked again once
  // a frame (16 ms) has passed since it was last asked.
  std::function<std::string()> browserDirectory = GetBrowserDirectory;
  // The clock that tells when a frame has passed.
  std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
};

// `text` with every "%d" replaced by `path`, in one pass from left to right:
// the path put in is never searched again, so a path holding "%d" shows as is.
std::string ReplacePathPlaceholders(std::string_view text, std::string_view path);

// `pattern` with its "%d" fields replaced by `numbers` in turn, in decimal.
// Fields beyond the numbers given are left as they are.
std::string FormatNumbers(std::string_view pattern, std::initializer_list<int> numbers);

// The dialog's title while `path` is shown: "Quietwalk - " + path with every
// occurrence of `browserDirectory` replaced by "..." (exact bytes, one pass
// from left to right). An empty directory leaves the path whole.
std::string RunTitle(std::string_view path, std::string_view browserDirectory);

// The worker's body: patches every file of `files` (found under
// `worldFolder`, and refused outside it) in order with `mode`, through the
// world folder opened once for the run and flushed before the summary;
// keeps the window's title, label and progress bar on the file just handled,
// reports each failed file in a message box, and ends with the summary.
// A full disk ends the dialog with -4 and the remaining files are still
// attempted. Returns 0.
int WriteFilesThread(const WorldFileList& files, const std::string& worldFolder, int mode, RunWindow& window,
                     const BatchRunHooks& hooks = {});

// Shows the summary for `filesWritten` files in a box owned by the dialog,
// then ends the dialog with 0.
void ShowSummary(RunWindow& window, int filesWritten);
