#include "run/batch_run.h"

#include <chrono>
#include <cstdint>
#include <optional>

#include "run/run_strings.h"

namespace {

constexpr std::string_view kTitlePrefix = "Quietwalk - ";
constexpr std::string_view kDirectoryMark = "...";
constexpr std::string_view kField = "%d";
constexpr int kDialogEndedByDiskFull = -4;

// Every occurrence of `needle` in `text` replaced by `replacement`, scanning
// on after each replacement so that nothing put in is looked at again.
std::string ReplaceAll(std::string_view text, std::string_view needle, std::string_view replacement) {
  if (needle.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, from)) {
    out.append(text, from, at - from);
    out.append(replacement);
    from = at + needle.size();
  }
  out.append(text, from);
  return out;
}

// The message reporting a failed file, or 0 for a file brought into its state.
int MessageForResult(PatchResult result) {
  switch (result) {
    case kFileMissing: return IDS_FILE_MISSING;
    case kOpenFailed: return IDS_OPEN_FAILED;
    case kReadOnly: return IDS_READ_ONLY;
    case kDiskFull: return IDS_DISK_FULL;
    case kAccessDenied: return IDS_ACCESS_DENIED;
    // The file was not brought into its state; saying nothing would let the
    // user believe it was.
    case kOtherIoFailure: return IDS_OPEN_FAILED;
    case kPatchDone: return 0;
  }
  return 0;
}

// The browser's directory for the titles, looked up anew once a frame has
// passed since the last lookup. No title is on the screen for less than a
// frame, so a fresher answer could not be seen; asked for each of thousands
// of titles, the lookup would cost more than rewriting the files.
class BrowserDirectoryForTitles {
 public:
  using Clock = std::chrono::steady_clock;

  BrowserDirectoryForTitles(const std::function<std::string()>& lookup, const std::function<Clock::time_point()>& clock)
      : m_lookup(lookup), m_clock(clock) {}

  const std::string& Get() {
    const auto now = m_clock();
    if (!m_lookedUpAt || now - *m_lookedUpAt >= kFrame) {
      m_directory = m_lookup();
      m_lookedUpAt = now;
    }
    return m_directory;
  }

 private:
  static constexpr auto kFrame = std::chrono::milliseconds(16);

  const std::function<std::string()>& m_lookup;
  const std::function<Clock::time_point()>& m_clock;
  std::optional<Clock::time_point> m_lookedUpAt;
  std::string m_directory;
};

void ShowFile(RunWindow& window, BrowserDirectoryForTitles& browserDirectory, const std::string& path, int k, int n,
              std::optional<int> position) {
  window.ShowFile(RunTitle(path, browserDirectory.Get()),
                  FormatNumbers(window.LoadStringA(IDS_STATUS_FILE_K_OF_N), {k, n}), position);
}

void ReportFailure(RunWindow& window, PatchResult result, const std::string& path) {
  const int message = MessageForResult(result);
  if (message == 0) return;
  const auto icon = result == kDiskFull ? MessageIcon::kStop : MessageIcon::kWarning;
  window.ShowMessage(ReplacePathPlaceholders(window.LoadStringA(message), path), icon, false);
  // The disk will not empty itself, but every file still deserves its try:
  // only the dialog goes, the run carries on without it.
  if (result == kDiskFull) window.EndDialog(kDialogEndedByDiskFull);
}

}  // namespace

std::string ReplacePathPlaceholders(std::string_view text, std::string_view path) {
  return ReplaceAll(text, kField, path);
}

std::string FormatNumbers(std::string_view pattern, std::initializer_list<int> numbers) {
  std::string out;
  auto number = numbers.begin();
  std::size_t from = 0;
  for (std::size_t at = pattern.find(kField); at != std::string_view::npos && number != numbers.end();
       at = pattern.find(kField, from)) {
    out.append(pattern, from, at - from);
    out += std::to_string(*number++);
    from = at + kField.size();
  }
  out.append(pattern, from);
  return out;
}

std::string RunTitle(std::string_view path, std::string_view browserDirectory) {
  std::string title(kTitlePrefix);
  title += ReplaceAll(path, browserDirectory, kDirectoryMark);
  return title;
}

int WriteFilesThread(const WorldFileList& files, const std::string& worldFolder, int mode, RunWindow& window,
                     const BatchRunHooks& hooks) {
  // The dialog never starts a run without files; should it ever, there is
  // no first file to show and no count to divide by.
  if (!files.empty()) {
    const int n = static_cast<int>(files.size());
    BrowserDirectoryForTitles browserDirectory(hooks.browserDirectory, hooks.now);
    ShowFile(window, browserDirectory, files.front(), 1, n, std::nullopt);
    platform::IoResult<platform::WorldFolder> folder = platform::WorldFolder::Open(worldFolder);
    // 64 bits: 100 per file must not wrap however long the list.
    std::uint64_t numerator = 100;
    for (int i = 0; i < n; ++i) {
      const std::string& path = files[static_cast<std::size_t>(i)];
      ReportFailure(window, folder ? hooks.patchFile(*folder, path, mode) : ResultForUnopenedFolder(folder.error()),
                    path);
      const auto position = static_cast<int>(numerator / static_cast<std::uint64_t>(n));
      ShowFile(window, browserDirectory, path, i + 1, n, position);
      numerator += 100;
    }
    // Not reported: every rewrite counted is complete and in place, and a
    // message could only say that it may not survive a crash of the system.
    if (folder) (void)folder->Flush();
  }
  ShowSummary(window, g_filesWritten);
  return 0;
}

void ShowSummary(RunWindow& window, int filesWritten) {
  const std::string text = filesWritten <= 0 ? window.LoadStringA(IDS_SUMMARY_NONE)
                                             : FormatNumbers(window.LoadStringA(IDS_SUMMARY_WRITTEN), {filesWritten});
  window.ShowMessage(text, MessageIcon::kInformation, true);
  window.EndDialog(0);
}
