// The Linux half against the Windows half: one layout, copied into a fixture
// prefix and into a booted Wine prefix; the lookup, the scan and the patch
// run natively on the first copy and as a Windows program under Wine on the
// second. Both must give the same browser directory, the same list in the
// same order, the same results and the same bytes in every file afterwards.
#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "patch/gzip_codec.h"
#include "patch/world_patcher.h"
#include "platform/paths/wine_prefix.h"
#include "tests/fidelity/fidelity_report.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TestPrefix;

constexpr char kDeclaredTrue[] =
    "#VRML V2.0 utf8\r\nPROTO Sony_WorldInfo [\r\n  field SFBool collisionSound TRUE\r\n] {}\r\nShape {}\r\n";
constexpr char kDeclaredFalse[] = "#VRML V2.0 utf8\nPROTO Sony_WorldInfo [ field SFBool collisionSound FALSE ] {}\n";
constexpr char kBare[] = "#VRML V2.0 utf8\nShape {}";
constexpr char kInstance[] = "#VRML V2.0 utf8\nSony_WorldInfo { collisionSound TRUE } # TRUE\nTransform {}\n";

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Sets the locale variables for the native run and the Wine run alike, and
// puts them back afterwards.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* lang) {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
      const char* value = getenv(name);
      m_saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
      unsetenv(name);
    }
    setenv("LANG", lang, 1);
  }
  ~ScopedLocale() {
    for (const auto& [name, value] : m_saved) {
      if (value)
        setenv(name, value->c_str(), 1);
      else
        unsetenv(name);
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

bool LocaleInstalled(const char* name) {
  locale_t locale = newlocale(LC_ALL_MASK, name, nullptr);
  if (locale == nullptr) return false;
  freelocale(locale);
  return true;
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a command through the shell; *output receives what it printed.
int RunShell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  const int status = pclose(pipe);
  if (output) *output = text;
  return status;
}

// Folders of a booted prefix's drive C: down to two levels, which the
// layout may add to but does not own.
std::set<fs::path> FoldersOfTheSystem(const fs::path& driveC) {
  std::set<fs::path> folders{"."};
  for (const fs::directory_entry& top : fs::directory_iterator(driveC)) {
    if (!top.is_directory() || top.is_symlink()) continue;
    folders.insert(top.path().filename());
    if (top.path().filename() == "windows") continue;
    for (const fs::directory_entry& second : fs::directory_iterator(top.path()))
      if (second.is_directory() && !second.is_symlink())
        folders.insert(top.path().filename() / second.path().filename());
  }
  return folders;
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// Everything under native/`relative` is the same under wine/`relative`:
// names, kinds, link targets and bytes. Folders the system owns may hold
// more on the Wine side.
void ExpectSameTree(const fs::path& native, const fs::path& wine, const fs::path& relative,
                    const std::set<fs::path>& systemFolders) {
  const std::set<std::string> nativeNames = Names(native / relative);
  const std::set<std::string> wineNames = Names(wine / relative);
  for (const std::string& name : nativeNames) {
    const fs::path item = relative / name;
    const fs::path nativeItem = native / item;
    const fs::path wineItem = wine / item;
    SCOPED_TRACE(item.string());
    ASSERT_TRUE(wineNames.count(name)) << "missing on the Wine side";
    const fs::file_status nativeStatus = fs::symlink_status(nativeItem);
    const fs::file_status wineStatus = fs::symlink_status(wineItem);
    ASSERT_EQ(nativeStatus.type(), wineStatus.type());
    if (fs::is_symlink(nativeStatus)) {
      EXPECT_EQ(fs::read_symlink(nativeItem), fs::read_symlink(wineItem));
    } else if (fs::is_directory(nativeStatus)) {
      ExpectSameTree(native, wine, item, systemFolders);
    } else {
      EXPECT_EQ(ReadBytes(nativeItem), ReadBytes(wineItem));
    }
  }
  if (!systemFolders.count(relative.lexically_normal())) {
    EXPECT_EQ(nativeNames, wineNames) << "in " << relative;
  }
}

struct FidelityCase {
  const char* name;
  const char* lang;
  int mode;
  std::function<void(TestPrefix&)> layOut;
  // ANSI bytes a listed path must end in, when the case is about one.
  const char* mustList = nullptr;
};

void PrintTo(const FidelityCase& c, std::ostream* out) { *out << c.name; }

std::string CaseName(const testing::TestParamInfo<FidelityCase>& param) { return param.param.name; }

// What an archive may bring into the world folder: links out of it (to a
// file, to a folder, to the host's root; all relative but the last, so that
// they lead to the same place in both copies), and names that Windows would
// split at a backslash, one of them only once a best fit has made one
// (a full-width backslash in code page 1252). Nothing of it is listed.
void LayOutHostileEntries(TestPrefix& prefix, const std::string& world) {
  const std::string outside = world.substr(0, world.rfind('\\')) + "\\outside";
  prefix.WriteFile(outside + "\\o.wrl", kDeclaredTrue);
  const fs::path host = prefix.HostPath(world);
  fs::create_symlink("../outside/o.wrl", host / "relout.wrl");
  fs::create_directory_symlink("../outside", host / "dirout");
  fs::create_directory_symlink("/", host / "root");
  std::ofstream(host / "..\\outside.wrl") << kDeclaredTrue;
  fs::create_directory(host / "x\\..");
  std::ofstream(host / "x\\.." / "y.wrl") << kDeclaredTrue;
  std::ofstream(host / "q\uff3cr.wrl") << kDeclaredTrue;
}

// Names a Windows program opens under Wine though Windows itself forbids
// them, and names it does not: a colon past the drive; folders ending in a
// space, in a dot and a space, and in dots, which a search drops one of
// ("dots.." is searched as "dots.", whose files' paths lead into "dots");
// names Windows takes for devices; characters it refuses in a name.
void LayOutWineNames(TestPrefix& prefix, const std::string& world) {
  for (const char* name :
       {"a:b.wrl",      "a:b\\w.wrl",    "sp \\w.wrl",  "sp .\\v.wrl", "trail. \\t.wrl", "trail.\\u.wrl", "dots\\e.wrl",
        "dots.\\e.wrl", "dots..\\d.wrl", ". .\\w.wrl",  "nul.wrl",     "aux.wrl",        "q?m.wrl",       "st*r.wrl",
        "p|pe.wrl",     "lt<.wrl",       "qu\"ote.wrl", "tab\t.wrl",   "x.wrl ",         "z.wrl."})
    prefix.WriteFile(world + "\\" + name, kBare);
}

// A world tree with the scan's rules in it: excluded folders (and folders
// whose paths merely end like them), names that differ only in case, the
// remembered-file order, a folder named like a world file, links (to a file,
// back up the tree, to a folder met again, and to nothing), files in every
// state (compressed and read-only ones included), and the names of an
// archive from elsewhere.
void LayOutWorldTree(TestPrefix& prefix, const std::string& world) {
  prefix.WriteFile(world + "\\a.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\dir\\d.wrl", kBare);
  prefix.WriteFile(world + "\\Dir\\Upper.wrl", kInstance);
  prefix.WriteFile(world + "\\z.txt", "not a world");
  prefix.WriteFile(world + "\\Case.wrl", kInstance);
  prefix.WriteFile(world + "\\case.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\CASE.WRL", kDeclaredTrue);
  prefix.WriteFile(world + "\\readme.wrl.txt", kDeclaredTrue);
  prefix.WriteFile(world + "\\x.wrl\\y.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\empty.wrl", "");
  prefix.WriteFile(world + "\\quiet.wrl", kDeclaredFalse);
  prefix.WriteFile(world + "\\packed.wrl", Gzip(kInstance));
  prefix.WriteFile(world + "\\models\\m.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\models\\sub\\s.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\xmodels\\x.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\ko-en\\k.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\ko-en\\inner\\i.wrl", kBare);
  prefix.WriteFile(world + "\\baseComponent\\b.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\basecomponent\\c.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\base-park\\p.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\base-park2\\p.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\readonly.wrl", kDeclaredTrue);
  prefix.WriteFile(world + "\\linked\\target.wrl", kDeclaredTrue);
  const fs::path host = prefix.HostPath(world);
  fs::permissions(host / "readonly.wrl", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::create_symlink("target.wrl", host / "linked" / "link.wrl");
  fs::create_directory_symlink("..", host / "linked" / "up");
  fs::create_symlink("nowhere.wrl", host / "dangling.wrl");
  // One folder by three ways: listed by the first, passed by after that.
  prefix.WriteFile(world + "\\zz\\inner\\w.wrl", kBare);
  fs::create_directory_symlink("zz/inner", host / "alias");
  fs::create_directory_symlink("zz/inner", host / "alias2");
  LayOutHostileEntries(prefix, world);
  LayOutWineNames(prefix, world);
}

// Wine can give a new file no name that another name in its folder equals
// but for case (a move into it meets the other file), so the Windows half
// leaves a world under such a name whole and reports it not opened, where
// the Linux half rewrites it. The native report and tree are brought to
// what the Windows half leaves of the layout's twins that changed.
void AsTheWindowsHalfLeavesTwins(std::string* report, const fs::path& driveC) {
  for (const auto& [name, content] : {std::pair{"Case.wrl", kInstance}, std::pair{"case.wrl", kDeclaredTrue}}) {
    std::vector<fs::path> copies;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(driveC))
      if (entry.path().filename() == name && !entry.is_symlink() && ReadBytes(entry.path()) != content)
        copies.push_back(entry.path());
    if (copies.empty()) continue;
    const std::string listed = fidelity::Hex(std::string("\\") + name) + " 1\n";
    for (std::size_t at; (at = report->find(listed)) != std::string::npos;)
      report->replace(at + listed.size() - 2, 1, std::to_string(kOpenFailed));
    const std::size_t written = report->rfind("written ") + std::strlen("written ");
    const int count = std::stoi(report->substr(written)) - static_cast<int>(copies.size());
    report->replace(written, std::string::npos, std::to_string(count) + "\n");
    for (const fs::path& copy : copies) std::ofstream(copy, std::ios::binary) << content;
  }
}

class FidelityTest : public testing::TestWithParam<FidelityCase> {};

// The Windows helper, or nullptr when none was built. A helper named in the
// environment must exist: its absence is a broken build, not a reason to skip.
const char* FidelityHelper() {
  const char* helper = getenv("QUIETWALK_FIDELITY_HELPER");
  if (helper != nullptr && *helper != '\0') {
    EXPECT_TRUE(fs::exists(helper)) << helper;
    return helper;
  }
  helper = QUIETWALK_FIDELITY_HELPER;
  return *helper == '\0' || !fs::exists(helper) ? nullptr : helper;
}

constexpr char kNoHelper[] =
    "no Windows helper: the Windows stage of scripts/test builds it and sets QUIETWALK_FIDELITY_HELPER";

// A booted Wine prefix of its own beside `native`, removed with this object.
struct WinePrefixCopy {
  explicit WinePrefixCopy(const TestPrefix& native)
      : path(fs::path(native.root()).parent_path() / (fs::path(native.root()).filename().string() + "-wine")) {
    made = RunShell(Quoted(QUIETWALK_WINE_EMULATOR) + " --make-prefix " + Quoted(path) + " 2>&1", &output) == 0;
  }
  ~WinePrefixCopy() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
  bool made = false;
  std::string output;
};

TEST_P(FidelityTest, BothHalvesSeeAndLeaveTheSame) {
  const char* helper = FidelityHelper();
  if (helper == nullptr) GTEST_SKIP() << kNoHelper;
  const FidelityCase& c = GetParam();
  if (!LocaleInstalled(c.lang)) GTEST_SKIP() << c.lang << " is not installed (scripts/setup generates it)";

  TestPrefix native;
  c.layOut(native);

  // The Wine copy: a booted prefix with the same drive C: contents merged in
  // and the same registry sections added to its user.reg (read when it starts).
  const WinePrefixCopy wineCopy(native);
  ASSERT_TRUE(wineCopy.made) << wineCopy.output;
  const fs::path& wine = wineCopy.path;
  const std::set<fs::path> systemFolders = FoldersOfTheSystem(wine / "drive_c");
  fs::copy(fs::path(native.root()) / "drive_c", wine / "drive_c",
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  const std::string nativeReg = ReadBytes(fs::path(native.root()) / "user.reg");
  const std::size_t sections = nativeReg.find("\n[");
  if (sections != std::string::npos) {
    std::ofstream reg(wine / "user.reg", std::ios::binary | std::ios::app);
    reg << nativeReg.substr(sections);
  }

  const ScopedLocale locale(c.lang);
  std::string nativeReport = fidelity::LookUpScanAndPatch(c.mode);
  std::string wineReport;
  ASSERT_EQ(RunShell(Quoted(QUIETWALK_WINE_EMULATOR) + " --in-prefix " + Quoted(wine) + " " + Quoted(helper) + " " +
                         std::to_string(c.mode),
                     &wineReport),
            0)
      << wineReport;
  AsTheWindowsHalfLeavesTwins(&nativeReport, fs::path(native.root()) / "drive_c");
  EXPECT_EQ(nativeReport, wineReport);
  EXPECT_NE(nativeReport.find("\nfile "), std::string::npos) << "the layout gave nothing to patch";
  if (c.mustList != nullptr) {
    EXPECT_NE(nativeReport.find(fidelity::Hex(c.mustList) + " "), std::string::npos) << "not listed: " << c.mustList;
  }
  ExpectSameTree(fs::path(native.root()) / "drive_c", wine / "drive_c", ".", systemFolders);
}

// A Windows program holding a world file with share mode 0: the Linux half
// must leave it alone, as the Windows half could not open it.
TEST(FidelityHoldTest, FileHeldUnsharedByAWindowsProgramIsLeftAlone) {
  const char* helper = FidelityHelper();
  if (helper == nullptr) GTEST_SKIP() << kNoHelper;
  TestPrefix native;
  const WinePrefixCopy wine(native);
  ASSERT_TRUE(wine.made) << wine.output;
  const fs::path world = wine.path / "drive_c" / "world";
  fs::create_directories(world);
  std::ofstream(world / "held.wrl", std::ios::binary) << kBare;

  FILE* holder = popen((Quoted(QUIETWALK_WINE_EMULATOR) + " --in-prefix " + Quoted(wine.path) + " " + Quoted(helper) +
                        " hold 'C:\\world\\held.wrl' 2>/dev/null")
                           .c_str(),
                       "r");
  ASSERT_NE(holder, nullptr);
  char said[16] = {};
  const bool held = fgets(said, sizeof said, holder) != nullptr && std::string(said).starts_with("held");
  platform::UseWinePrefix({wine.path.string(), wine.path.string()});
  const PatchResult whileHeld = held ? PatchWorldFile("C:\\world\\held.wrl", 0) : kPatchDone;
  platform::UseWinePrefix({native.root(), native.root()});
  std::ofstream(world / "held.wrl.release") << "";
  pclose(holder);
  ASSERT_TRUE(held) << said;
  EXPECT_EQ(whileHeld, kOpenFailed);
  EXPECT_EQ(ReadBytes(world / "held.wrl"), kBare);
}

INSTANTIATE_TEST_SUITE_P(Layouts, FidelityTest,
                         testing::Values(
                             // The fixed path wins; the run puts the bumps back.
                             FidelityCase{"FixedPath", "C.UTF-8", 1,
                                          [](TestPrefix& prefix) {
                                            const std::string browser =
                                                "C:\\Program Files\\Sony\\Community Place Browser";
                                            prefix.WriteFile(browser + "\\bin\\cpbrowse.exe", "MZ");
                                            prefix.SetRegistryString("Software\\Sony\\Community Place Browser\\Install",
                                                                     "Directory", "C:\\Elsewhere");
                                            LayOutWorldTree(prefix, browser + "\\world");
                                          }},
                             // The registry's answer ends in a backslash: the scan root has two.
                             FidelityCase{"RegistryTrailingBackslash", "C.UTF-8", 0,
                                          [](TestPrefix& prefix) {
                                            prefix.SetRegistryString("Software\\Sony\\Community Place Browser\\Install",
                                                                     "Directory", "C:\\CPB\\");
                                            LayOutWorldTree(prefix, "C:\\CPB\\world");
                                          }},
                             // The Shift-JIS key, under a Japanese locale, naming a folder whose
                             // names hold a double-byte character with a backslash's code in it.
                             FidelityCase{"ShiftJisKey", "ja_JP.UTF-8", 0,
                                          [](TestPrefix& prefix) {
                                            prefix.SetRegistryString("Software\\Sony\\\u3055\u3071\u308a\\Install",
                                                                     "Directory",
                                                                     "C:\\\u3055\u3071\u308a\\\u8868\u793a");
                                            prefix.SetRegistryString("Software\\Sony\\Community Place Browser\\Install",
                                                                     "Directory", "C:\\Elsewhere");
                                            const std::string world = "C:\\\u3055\u3071\u308a\\\u8868\u793a\\world";
                                            prefix.WriteFile(world + "\\\u30bd\u30d5\u30c8.wrl", kDeclaredTrue);
                                            prefix.WriteFile(world + "\\\u8868\\caf\u00e9.wrl", kBare);
                                            // ソ is 83 5C: its second byte is no separator.
                                            prefix.WriteFile(world + "\\\u30bd\\s.wrl", kDeclaredTrue);
                                            LayOutWorldTree(prefix, world + "\\\u30ef\u30fc\u30eb\u30c9");
                                          },
                                          "world\\\x83\x5c\\s.wrl"}),
                         CaseName);

}  // namespace
