// The program's Windows resources, read back through the Win32 calls that use
// them. This program links win/quietwalk.rc as the program does.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

#include "product/product_text.h"
#include "ui/dialog_templates.h"
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

// The names and version the block gives, against where the build takes them
// from: the project's version, the program's target and the product's name.
TEST(VersionBlock, CarriesTheProgramsNamesAndVersion) {
  VersionBlock block;
  ASSERT_TRUE(block.loaded());
  const VS_FIXEDFILEINFO* fixed = block.Fixed();
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  const DWORD high = MAKELONG(QUIETWALK_VERSION_MINOR, QUIETWALK_VERSION_MAJOR);
  const DWORD low = MAKELONG(0, QUIETWALK_VERSION_PATCH);
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  // US English, Unicode.
  EXPECT_EQ(block.Translations(), std::vector<DWORD>{MAKELONG(1200, 0x0409)});
  const std::string program = QUIETWALK_PROGRAM_NAME;
  const std::string version = std::to_string(QUIETWALK_VERSION_MAJOR) + ", " + std::to_string(QUIETWALK_VERSION_MINOR) +
                              ", " + std::to_string(QUIETWALK_VERSION_PATCH) + ", 0";
  EXPECT_EQ(block.String("FileDescription"), kProductName);
  EXPECT_EQ(block.String("InternalName"), program);
  EXPECT_EQ(block.String("OriginalFilename"), program + ".EXE");
  EXPECT_EQ(block.String("ProductName"), program + " Version " + std::to_string(QUIETWALK_VERSION_MAJOR) + "." +
                                             std::to_string(QUIETWALK_VERSION_MINOR));
  EXPECT_EQ(block.String("FileVersion"), version);
  EXPECT_EQ(block.String("ProductVersion"), version);
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

struct ResourceItem {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::wstring className;  // upper case; a predefined class's atom by its name
  std::wstring text;       // or "#<ordinal>" for a resource
};

struct ResourceTemplate {
  short cx = 0, cy = 0;
  std::wstring caption;
  WORD fontPoints = 0;
  std::wstring fontFace;
  std::vector<ResourceItem> items;
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
bool LoadTemplate(int id, ResourceTemplate* out) {
  HRSRC found = FindResourceA(Self(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
  if (found == nullptr) return false;
  const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(Self(), found)));
  TemplateReader reader(base);
  if (reader.Read<WORD>() == 1 && reader.Read<WORD>() == 0xFFFF) return false;  // DIALOGEX
  reader = TemplateReader(base);
  const DWORD style = reader.Read<DWORD>();
  reader.Read<DWORD>();  // extended style
  const WORD count = reader.Read<WORD>();
  reader.Read<short>();  // x
  reader.Read<short>();  // y
  out->cx = reader.Read<short>();
  out->cy = reader.Read<short>();
  reader.SzOrOrdinal();  // menu
  reader.SzOrOrdinal();  // class
  out->caption = reader.SzOrOrdinal();
  if (style & DS_SETFONT) {
    out->fontPoints = reader.Read<WORD>();
    out->fontFace = reader.SzOrOrdinal();
  }
  for (WORD i = 0; i < count; ++i) {
    reader.AlignToDword(base);
    ResourceItem item;
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

// The template texts are ASCII.
std::wstring Wide(std::string_view text) { return std::wstring(text.begin(), text.end()); }

// How the resource compiler writes a control of each kind: its class, and
// its type within the class's style bits.
void ExpectKind(const ResourceItem& item, DialogItemKind kind) {
  const bool isButton = kind != DialogItemKind::kIcon && kind != DialogItemKind::kText;
  EXPECT_EQ(item.className, isButton ? L"BUTTON" : L"STATIC");
  const DWORD type = item.style & (isButton ? DWORD{BS_TYPEMASK} : DWORD{SS_TYPEMASK});
  switch (kind) {
    case DialogItemKind::kDefPushButton: EXPECT_EQ(type, DWORD{BS_DEFPUSHBUTTON}); break;
    case DialogItemKind::kPushButton: EXPECT_EQ(type, DWORD{BS_PUSHBUTTON}); break;
    case DialogItemKind::kAutoRadioButton: EXPECT_EQ(type, DWORD{BS_AUTORADIOBUTTON}); break;
    case DialogItemKind::kIcon: EXPECT_EQ(type, DWORD{SS_ICON}); break;
    case DialogItemKind::kText:
      EXPECT_EQ(type, DWORD{SS_LEFT});
      EXPECT_TRUE(item.style & SS_NOPREFIX) << "'&' is shown as it is";
      break;
  }
}

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The resource script's template is the C++ one, control for control, and
// the dialog manager builds a window from it.
void ExpectSameTemplate(const DialogTemplate& expected) {
  SCOPED_TRACE(expected.id);
  ResourceTemplate dialog;
  ASSERT_TRUE(LoadTemplate(expected.id, &dialog));
  EXPECT_EQ(dialog.caption, Wide(expected.caption));
  EXPECT_EQ(dialog.cx, expected.cx);
  EXPECT_EQ(dialog.cy, expected.cy);
  EXPECT_EQ(dialog.fontPoints, expected.fontPoints);
  EXPECT_EQ(dialog.fontFace, Wide(expected.fontFace));
  ASSERT_EQ(dialog.items.size(), expected.items.size());
  for (std::size_t i = 0; i < expected.items.size(); ++i) {
    const DialogItemTemplate& want = expected.items[i];
    const ResourceItem& item = dialog.items[i];
    SCOPED_TRACE(want.id);
    EXPECT_EQ(item.id, want.id);
    ExpectKind(item, want.kind);
    EXPECT_EQ(item.text, want.kind == DialogItemKind::kIcon ? L"#" + std::to_wstring(want.iconId) : Wide(want.text));
    EXPECT_EQ((std::vector<int>{item.x, item.y, item.cx, item.cy}),
              (std::vector<int>{want.rect.x, want.rect.y, want.rect.cx, want.rect.cy}));
  }

  HWND window = CreateDialogParamA(Self(), MAKEINTRESOURCEA(expected.id), nullptr, NoDialogProc, 0);
  ASSERT_NE(window, nullptr);
  for (const DialogItemTemplate& item : expected.items) {
    if (item.id == kIdStatic) continue;
    EXPECT_NE(GetDlgItem(window, item.id), nullptr) << item.id;
  }
  DestroyWindow(window);
}

TEST(DialogTemplates, AreTheProgramsOwn) {
  ExpectSameTemplate(MainDialogTemplate());
  ExpectSameTemplate(AboutDialogTemplate());
  ExpectSameTemplate(HiddenAnimDialogTemplate());
}

}  // namespace
