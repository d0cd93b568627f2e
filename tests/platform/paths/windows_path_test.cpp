// The rules of Windows paths as one table of cases for both hosts: on Linux
// they check the rules the Linux half resolves paths by; on Windows (run
// under Wine by the tests) the same cases also go through the real calls.
#include "platform/paths/windows_path.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text/code_page.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using platform::FullPathName;

constexpr std::u16string_view kCurrentFolder = u"C:\\windows";

struct FullPathCase {
  std::u16string_view path, expected;
};

constexpr FullPathCase kFullPathCases[] = {
    {u"C:\\Program Files\\\\X\\bin\\app.exe", u"C:\\Program Files\\X\\bin\\app.exe"},
    {u"C:\\Program Files\\X\\\\", u"C:\\Program Files\\X\\"},
    {u"C:/x/y", u"C:\\x\\y"},
    {u"C:\\a\\..\\b\\.\\c", u"C:\\b\\c"},
    {u"C:\\..\\..\\x", u"C:\\x"},
    {u"C:\\a\\..", u"C:\\"},
    {u"C:\\a\\b\\..", u"C:\\a"},
    {u"C:\\a\\b\\.", u"C:\\a\\b"},
    {u"C:\\", u"C:\\"},
    {u"c:\\x", u"c:\\x"},
    // Only the last component loses all its final dots and spaces; one
    // followed by "\" loses a single final dot and keeps its spaces.
    {u"C:\\a\\b.\\c ", u"C:\\a\\b\\c"},
    {u"C:\\a\\c. .", u"C:\\a\\c"},
    {u"C:\\a\\b..\\c", u"C:\\a\\b.\\c"},
    {u"C:\\a\\b \\c", u"C:\\a\\b \\c"},
    {u"C:\\a\\b. .\\c", u"C:\\a\\b. \\c"},
    {u"C:\\a\\b .\\c", u"C:\\a\\b \\c"},
    {u"C:\\a\\b.c.\\d", u"C:\\a\\b.c\\d"},
    {u"C:\\a\\. \\b", u"C:\\a\\. \\b"},
    {u"C:\\a\\b \\", u"C:\\a\\b \\"},
    {u"C:\\a\\b.\\", u"C:\\a\\b\\"},
    {u"C:\\a\\b.\\*.*", u"C:\\a\\b\\*.*"},
    {u"C:\\a\\b\\...", u"C:\\a\\b\\"},
    // "..." followed by "\" becomes a literal "..", not a step up.
    {u"C:\\a\\...\\b", u"C:\\a\\..\\b"},
    {u"C:\\a\\b\\c\\..\\..\\d.", u"C:\\a\\d"},
    // Relative to the current folder, its drive, or another drive's root.
    {u"\\world", u"C:\\world"},
    {u"world\\", u"C:\\windows\\world\\"},
    {u"..\\x", u"C:\\x"},
    {u"C:world", u"C:\\windows\\world"},
    {u"c:x", u"C:\\windows\\x"},
    {u"C:", u"C:\\windows\\"},
    {u"D:world", u"D:\\world"},
    {u"D:", u"D:\\"},
    {u"\\\\X\\Y", u"\\\\X\\Y"},
};

#ifdef _WIN32
std::u16string RealFullPathName(std::u16string_view path) {
  const std::wstring wide(path.begin(), path.end());
  wchar_t buffer[MAX_PATH * 2];
  const DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH * 2, buffer, nullptr);
  return std::u16string(buffer, buffer + length);
}

std::string RealFullPathNameA(const std::string& path) {
  char buffer[MAX_PATH * 2];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return std::string(buffer, length);
}

// The A function decodes the whole path with the ANSI code page before it
// splits it; this one does so with a given code page, whatever GetACP() is.
std::string RealFullPathNameIn(unsigned codePage, const std::string& path) {
  wchar_t wide[MAX_PATH];
  const int units = MultiByteToWideChar(codePage, 0, path.c_str(), -1, wide, MAX_PATH);
  const std::u16string full = RealFullPathName(std::u16string(wide, wide + units - 1));
  char ansi[MAX_PATH * 2];
  const int bytes = WideCharToMultiByte(codePage, 0, reinterpret_cast<const wchar_t*>(full.c_str()), -1, ansi,
                                        sizeof ansi, nullptr, nullptr);
  return std::string(ansi, static_cast<std::size_t>(bytes - 1));
}

bool IsAscii(std::u16string_view text) {
  for (char16_t c : text)
    if (c >= 0x80) return false;
  return true;
}
#endif

std::string Printable(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(FullPathName, FollowsGetFullPathName) {
#ifdef _WIN32
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\windows"));
#endif
  for (const FullPathCase& c : kFullPathCases) {
    SCOPED_TRACE(Printable(c.path));
    EXPECT_EQ(Printable(FullPathName(c.path, kCurrentFolder)), Printable(c.expected));
#ifdef _WIN32
    EXPECT_EQ(Printable(RealFullPathName(c.path)), Printable(c.expected));
    if (IsAscii(c.path)) {
      EXPECT_EQ(RealFullPathNameA(Printable(c.path)), Printable(c.expected));
    }
#endif
  }
#ifdef _WIN32
  SetCurrentDirectoryW(saved);
#endif
}

TEST(FullPathName, NeedsACurrentFolderOnlyForRelativePaths) {
  EXPECT_EQ(FullPathName(u"\\world", u""), u"");
  EXPECT_EQ(FullPathName(u"world", u""), u"");
  EXPECT_EQ(FullPathName(u"", kCurrentFolder), u"");
  EXPECT_EQ(FullPathName(u"C:world", u""), u"C:\\world");
  EXPECT_EQ(FullPathName(u"\\world", u"Z:\\home\\me"), u"Z:\\world");
}

// Where Windows sees a device, GetFullPathName gives "\\.\NAME".
TEST(WindowsNames, ADeviceIsNamedByTheLastComponentsBase) {
  struct DeviceCase {
    const char* name;
    bool device;
  };
  for (const DeviceCase& c :
       {DeviceCase{"nul", true}, {"NUL.wrl", true},   {"nul .wrl", true},   {"nul..wrl", true},    {"nul.x.wrl", true},
        {"nul:.wrl", true},      {"aux:", true},      {"nul  ", true},      {"nul. ", true},       {"Com1", true},
        {"lpt9.txt", true},      {"prn.wrl", true},   {"conin$.wrl", true}, {"CONOUT$", true},     {"nulx.wrl", false},
        {" nul.wrl", false},     {"com0.wrl", false}, {"com10.wrl", false}, {"clock$.wrl", false}, {"a:b:c.wrl", false},
        {"x.nul", false},        {"lpt", false},      {"", false}}) {
    SCOPED_TRACE(c.name);
    const std::string name = c.name;
    EXPECT_EQ(platform::IsDeviceName(name), c.device);
    EXPECT_EQ(platform::IsDeviceName(std::u16string(name.begin(), name.end())), c.device);
#ifdef _WIN32
    if (!name.empty()) {
      EXPECT_EQ(RealFullPathNameA("C:\\x\\" + name).rfind("\\\\.\\", 0) == 0, c.device);
    }
#endif
  }
}

// 表 is 95 5C and ソ is 83 5C in code page 932: their second byte has the
// code of "\" and is no separator.
TEST(AnsiPaths, ATrailByteIsNeverASeparator) {
  EXPECT_TRUE(platform::EndsWithSeparator("C:\\x\\", 932));
  EXPECT_FALSE(platform::EndsWithSeparator("C:\\\x83\x5c", 932));
  EXPECT_TRUE(platform::EndsWithSeparator("C:\\\x83\x5c", 1252));
  EXPECT_TRUE(platform::EndsWithSeparator("C:\\\x83\x5c\\", 932));
  EXPECT_FALSE(platform::EndsWithSeparator("C:\\\x83\x5c\x83\x5c", 932));
  EXPECT_FALSE(platform::EndsWithSeparator("", 932));

  EXPECT_TRUE(platform::IsOneNameComponent("\x95\x5c\x8e\xa6", 932));
  EXPECT_FALSE(platform::IsOneNameComponent("\x95\x5c\x8e\xa6", 1252));
  EXPECT_FALSE(platform::IsOneNameComponent("\x95\x5c\\x", 932));
  for (const char* name : {"", ".", "..", "...", "..\\outside.wrl", "x\\..", "a/b", "\\"})
    EXPECT_FALSE(platform::IsOneNameComponent(name, 1252)) << name;
  for (const char* name : {".wrl", "a.wrl", "x.", "a b", "..x"})
    EXPECT_TRUE(platform::IsOneNameComponent(name, 1252)) << name;

  // Which bytes lead, as Windows has them.
  struct LeadBytes {
    unsigned codePage;
    int count;
    unsigned char first, last;
  };
  for (const LeadBytes& c :
       {LeadBytes{932, 60, 0x81, 0xFC}, LeadBytes{936, 126, 0x81, 0xFE}, LeadBytes{949, 126, 0x81, 0xFE},
        LeadBytes{950, 126, 0x81, 0xFE}, LeadBytes{1252, 0, 0, 0}}) {
    int count = 0;
    for (int b = 0; b < 256; ++b) count += platform::IsAnsiLeadByte(c.codePage, static_cast<unsigned char>(b));
    EXPECT_EQ(count, c.count) << c.codePage;
    if (c.count == 0) continue;
    EXPECT_TRUE(platform::IsAnsiLeadByte(c.codePage, c.first)) << c.codePage;
    EXPECT_TRUE(platform::IsAnsiLeadByte(c.codePage, c.last)) << c.codePage;
  }
#ifdef _WIN32
  EXPECT_EQ(RealFullPathNameIn(932, "C:\\\x95\x5c\\\x83\x5c\\y"), "C:\\\x95\x5c\\\x83\x5c\\y");
  EXPECT_EQ(RealFullPathNameIn(932, "C:\\a\\\x83\x5c\\..\\y"), "C:\\a\\y");
#endif
}

}  // namespace
