// The program's Windows resources, read back through the Win32 calls that use
// them. This program links win/quietwalk.rc as the program does.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "ui/resource.h"

namespace {

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

std::string ModulePath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

// ---------------------------------------------------------------------------
// Version block

class VersionBlock {
 public:
  VersionBlock() {
    const std::string path = ModulePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    m_data.resize(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, m_data.data())) m_data.clear();
  }
  bool loaded() const { return !m_data.empty(); }

  const VS_FIXEDFILEINFO* Fixed() {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(m_data.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) return nullptr;
    return static_cast<const VS_FIXEDFILEINFO*>(value);
  }

  std::vector<DWORD> Translations() {
    void* value = nullptr;
    UINT length = 0;
    std::vector<DWORD> out;
    if (!VerQueryValueA(m_data.data(), "\\VarFileInfo\\Translation", &value, &length)) return out;
    const auto* words = static_cast<const WORD*>(value);
    for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) out.push_back(MAKELONG(words[i + 1], words[i]));
    return out;
  }

  // A string value, or "(none)" when there is no such value.
  std::string String(const std::string& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\040904b0\\" + name;
    if (!VerQueryValueA(m_data.data(), query.c_str(), &value, &length)) return "(none)";
    return std::string(static_cast<const char*>(value));
  }

 private:
  std::vector<char> m_data;
};

TEST(VersionBlock, CarriesTheProgramsNamesAndVersion) {
  VersionBlock block;
  ASSERT_TRUE(block.loaded());
  const VS_FIXEDFILEINFO* fixed = block.Fixed();
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);  // .0.0
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  // US English, Unicode.
  EXPECT_EQ(block.Translations(), std::vector<DWORD>{MAKELONG(1200, 0x0409)});
  EXPECT_EQ(block.String("FileDescription"), "Quietwalk");
  EXPECT_EQ(block.String("InternalName"), "SAPARiQuietwalk");
  EXPECT_EQ(block.String("OriginalFilename"), "SAPARiQuietwalk.EXE");
  EXPECT_EQ(block.String("ProductName"), "SAPARiQuietwalk Version 1.0");
  EXPECT_EQ(block.String("FileVersion"), "1, 0, 0, 0");
  EXPECT_EQ(block.String("ProductVersion"), "1, 0, 0, 0");
}

// ---------------------------------------------------------------------------
// String table

struct TableString {
  int id;
  std::string text;
};

const std::vector<TableString>& ExpectedStrings() {
  static const std::vector<TableString> strings{
#define QW_STRING(number, name, text) {number, std::string(text, sizeof(text) - 1)},
#include "ui/string_table.inc"
#undef QW_STRING
  };
  return strings;
}

TEST(StringTable, LoadStringGivesEveryTextByteForByte) {
  ASSERT_EQ(ExpectedStrings().size(), 12u);
  for (const TableString& expected : ExpectedStrings()) {
    SCOPED_TRACE(expected.id);
    char buffer[1024];
    std::memset(buffer, 0x7F, sizeof buffer);
    const int length = LoadStringA(Self(), static_cast<UINT>(expected.id), buffer, sizeof buffer);
    ASSERT_GT(length, 0);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(length)), expected.text);
    EXPECT_EQ(buffer[length], '\0');
  }
  char buffer[16];
  EXPECT_EQ(LoadStringA(Self(), 100, buffer, sizeof buffer), 0);
  EXPECT_EQ(LoadStringA(Self(), 113, buffer, sizeof buffer), 0);
}

TEST(StringTable, QuotesAndLineFeedsSurviveTheResourceCompiler) {
  char buffer[256];
  const int length = LoadStringA(Self(), IDS_DISK_FULL, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(length)),
            "Unable to write the file \"%d\" because the disk is full.");
  LoadStringA(Self(), IDS_SUMMARY_NONE, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), "Done! \nNo files have been written or modified.");
}

// ---------------------------------------------------------------------------
// Icons, clips and manifest

TEST(Resources, IconsAndClipsAreThereInUsEnglish) {
  const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  EXPECT_NE(FindResourceExA(Self(), RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_PENGUIN), english), nullptr);
  EXPECT_NE(FindResourceExA(Self(), RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_BOY), english), nullptr);
  EXPECT_NE(FindResourceExA(Self(), "AVI", MAKEINTRESOURCEA(IDR_AVI_TURTLE), english), nullptr);
  EXPECT_NE(FindResourceExA(Self(), "AVI", MAKEINTRESOURCEA(IDR_AVI_ROOM), english), nullptr);
  for (int id : {IDI_PENGUIN, IDI_BOY}) {
    HICON icon = static_cast<HICON>(LoadImageA(Self(), MAKEINTRESOURCEA(id), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr) << id;
    if (icon) DestroyIcon(icon);
  }
}

TEST(Resources, TheManifestAsksForAdministratorAndCommonControls6) {
  HRSRC found = FindResourceA(Self(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(Self(), found)));
  const std::string manifest(bytes, SizeofResource(Self(), found));
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

// The size a window takes: an animation control without ACS_CENTER takes
// the size of its clip's frames.
SIZE WindowSize(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

TEST(Resources, TheAnimationControlOpensBothClips) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_ANIMATE_CLASS};
  ASSERT_TRUE(InitCommonControlsEx(&controls));
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, Self(), nullptr);
  ASSERT_NE(parent, nullptr);
  struct Clip {
    int id;
    LONG width, height;
  };
  for (const Clip clip : {Clip{IDR_AVI_TURTLE, 70, 70}, Clip{IDR_AVI_ROOM, 387, 290}}) {
    SCOPED_TRACE(clip.id);
    HWND animation = CreateWindowExA(0, ANIMATE_CLASSA, "", WS_CHILD | ACS_TRANSPARENT, 0, 0, 10, 10, parent, nullptr,
                                     Self(), nullptr);
    ASSERT_NE(animation, nullptr);
    EXPECT_TRUE(SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(Self()),
                             reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(clip.id))));
    const SIZE size = WindowSize(animation);
    EXPECT_EQ(size.cx, clip.width);
    EXPECT_EQ(size.cy, clip.height);
    EXPECT_TRUE(SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF)));
    SendMessageA(animation, ACM_STOP, 0, 0);
    DestroyWindow(animation);
  }
  DestroyWindow(parent);
}

// ---------------------------------------------------------------------------
// Dialog templates, read from the resource as the dialog manager reads them

struct ItemTemplate {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::wstring className;  // upper case; a predefined class's atom by its name
  std::wstring text;       // or "#<ordinal>" for a resource
};

struct DialogTemplate {
  DWORD style = 0, exStyle = 0;
  short cx = 0, cy = 0;
  std::wstring caption;
  WORD fontPoints = 0;
  std::wstring fontFace;
  std::vector<ItemTemplate> items;
};

class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* bytes) : m_at(bytes) {}
  template <typename T>
  T Read() {
    T value;
    std::memcpy(&value, m_at, sizeof value);
    m_at += sizeof value;
    return value;
  }
  // A string, or an ordinal written as "#n".
  std::wstring SzOrOrdinal() {
    const WORD first = Read<WORD>();
    if (first == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
    std::wstring text;
    for (WORD unit = first; unit != 0; unit = Read<WORD>()) text.push_back(static_cast<wchar_t>(unit));
    return text;
  }
  void AlignToDword(const BYTE* base) {
    while ((m_at - base) % 4 != 0) ++m_at;
  }
  const BYTE* at() const { return m_at; }

 private:
  const BYTE* m_at;
};

// rc.exe writes the predefined classes as atoms, windres by name.
std::wstring ClassName(std::wstring name) {
  if (name == L"#128") return L"BUTTON";
  if (name == L"#130") return L"STATIC";
  for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
  return name;
}

// Plain DIALOG templates (not DIALOGEX), as the script writes them.
bool LoadTemplate(int id, DialogTemplate* out) {
  HRSRC found = FindResourceA(Self(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
  if (found == nullptr) return false;
  const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(Self(), found)));
  TemplateReader reader(base);
  if (reader.Read<WORD>() == 1 && reader.Read<WORD>() == 0xFFFF) return false;  // DIALOGEX
  reader = TemplateReader(base);
  out->style = reader.Read<DWORD>();
  out->exStyle = reader.Read<DWORD>();
  const WORD count = reader.Read<WORD>();
  reader.Read<short>();  // x
  reader.Read<short>();  // y
  out->cx = reader.Read<short>();
  out->cy = reader.Read<short>();
  reader.SzOrOrdinal();  // menu
  reader.SzOrOrdinal();  // class
  out->caption = reader.SzOrOrdinal();
  if (out->style & DS_SETFONT) {
    out->fontPoints = reader.Read<WORD>();
    out->fontFace = reader.SzOrOrdinal();
  }
  for (WORD i = 0; i < count; ++i) {
    reader.AlignToDword(base);
    ItemTemplate item;
    item.style = reader.Read<DWORD>();
    reader.Read<DWORD>();  // extended style
    item.x = reader.Read<short>();
    item.y = reader.Read<short>();
    item.cx = reader.Read<short>();
    item.cy = reader.Read<short>();
    item.id = static_cast<short>(reader.Read<WORD>());
    item.className = ClassName(reader.SzOrOrdinal());
    item.text = reader.SzOrOrdinal();
    const WORD extra = reader.Read<WORD>();
    for (WORD k = 0; k < extra; ++k) reader.Read<BYTE>();
    out->items.push_back(item);
  }
  return true;
}

constexpr wchar_t kButton[] = L"BUTTON";
constexpr wchar_t kStatic[] = L"STATIC";

void ExpectItem(const ItemTemplate& item, int id, const std::wstring& className, const std::wstring& text, DWORD kind,
                short x, short y, short cx, short cy) {
  SCOPED_TRACE(id);
  EXPECT_EQ(item.id, id);
  EXPECT_EQ(item.className, className);
  EXPECT_EQ(item.text, text);
  const DWORD kindMask = className == kButton ? DWORD{BS_TYPEMASK} : DWORD{SS_TYPEMASK};
  EXPECT_EQ(item.style & kindMask, kind);
  EXPECT_TRUE(item.style & WS_CHILD);
  EXPECT_TRUE(item.style & WS_VISIBLE);
  EXPECT_EQ(item.x, x);
  EXPECT_EQ(item.y, y);
  EXPECT_EQ(item.cx, cx);
  EXPECT_EQ(item.cy, cy);
}

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The dialog manager builds a window from the template.
void ExpectDialogLoads(int id, const std::vector<int>& controls) {
  HWND dialog = CreateDialogParamA(Self(), MAKEINTRESOURCEA(id), nullptr, NoDialogProc, 0);
  ASSERT_NE(dialog, nullptr) << id;
  for (int control : controls) EXPECT_NE(GetDlgItem(dialog, control), nullptr) << id << " " << control;
  DestroyWindow(dialog);
}

TEST(DialogTemplates, MainDialog) {
  DialogTemplate dialog;
  ASSERT_TRUE(LoadTemplate(IDD_MAIN, &dialog));
  EXPECT_EQ(dialog.caption, L"Quietwalk");
  EXPECT_EQ(dialog.cx, 429);
  EXPECT_EQ(dialog.cy, 72);
  EXPECT_EQ(dialog.fontPoints, 8);
  EXPECT_EQ(dialog.fontFace, L"MS Sans Serif");
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
  EXPECT_EQ(dialog.style & style, style);
  EXPECT_TRUE(dialog.exStyle & WS_EX_APPWINDOW);
  ASSERT_EQ(dialog.items.size(), 5u);
  ExpectItem(dialog.items[0], IDOK, kButton, L"OK", BS_DEFPUSHBUTTON, 372, 51, 50, 14);
  EXPECT_TRUE(dialog.items[0].style & WS_TABSTOP);
  ExpectItem(dialog.items[1], IDC_RADIO_BUMPS_BACK, kButton, L"", BS_AUTORADIOBUTTON, 33, 13, 144, 8);
  ExpectItem(dialog.items[2], IDC_ICON_TOP, kStatic, L"#" + std::to_wstring(IDI_BOY), SS_ICON, 7, 7, 21, 20);
  ExpectItem(dialog.items[3], IDC_RADIO_NO_BUMPS, kButton, L"", BS_AUTORADIOBUTTON, 33, 34, 383, 10);
  ExpectItem(dialog.items[4], IDC_ICON_BOTTOM, kStatic, L"#" + std::to_wstring(IDI_PENGUIN), SS_ICON, 7, 28, 21, 20);
  ExpectDialogLoads(IDD_MAIN, {IDOK, IDC_RADIO_BUMPS_BACK, IDC_ICON_TOP, IDC_RADIO_NO_BUMPS, IDC_ICON_BOTTOM});
}

TEST(DialogTemplates, AboutBox) {
  DialogTemplate dialog;
  ASSERT_TRUE(LoadTemplate(IDD_ABOUTBOX, &dialog));
  EXPECT_EQ(dialog.caption, L"About");
  EXPECT_EQ(dialog.cx, 114);
  EXPECT_EQ(dialog.cy, 82);
  EXPECT_EQ(dialog.fontPoints, 8);
  EXPECT_EQ(dialog.fontFace, L"MS Sans Serif");
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  EXPECT_EQ(dialog.style & style, style);
  ASSERT_EQ(dialog.items.size(), 3u);
  ExpectItem(dialog.items[0], -1, kStatic, L"#" + std::to_wstring(IDI_PENGUIN), SS_ICON, 7, 7, 21, 20);
  // The text is set when the box opens.
  ExpectItem(dialog.items[1], IDC_ABOUT_TEXT, kStatic, L"", SS_LEFT, 33, 7, 74, 49);
  EXPECT_TRUE(dialog.items[1].style & SS_NOPREFIX);
  ExpectItem(dialog.items[2], IDOK, kButton, L"OK", BS_DEFPUSHBUTTON, 32, 61, 50, 14);
  ExpectDialogLoads(IDD_ABOUTBOX, {IDOK});
}

TEST(DialogTemplates, HiddenAnimationDialog) {
  DialogTemplate dialog;
  ASSERT_TRUE(LoadTemplate(IDD_HIDDEN_ANIM, &dialog));
  EXPECT_EQ(dialog.caption, L"");
  EXPECT_EQ(dialog.cx, 258);
  EXPECT_EQ(dialog.cy, 179);
  EXPECT_EQ(dialog.fontPoints, 8);
  EXPECT_EQ(dialog.fontFace, L"MS Sans Serif");
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER;
  EXPECT_EQ(dialog.style & style, style);
  EXPECT_TRUE(dialog.items.empty());
  ExpectDialogLoads(IDD_HIDDEN_ANIM, {});
}

}  // namespace
