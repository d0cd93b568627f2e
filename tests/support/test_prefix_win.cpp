#include "tests/support/test_prefix.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

// Under Wine the test program already runs in a prefix of its own (the
// emulator makes a fresh one for every run), so the fixture acts on drive C:
// itself, through the wide Win32 calls, and takes away afterwards whatever
// it made there.
namespace testing_support {
namespace {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), length);
  return out;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), length, nullptr, nullptr);
  return out;
}

std::string SystemMessage(DWORD error) { return "Win32 error " + std::to_string(error); }

// "C:\a\b", "\a\b" and "a/b" all name C:\a\b, as on the Linux side, where
// every path lands in drive_c.
std::wstring OnDriveC(std::string_view windowsPath) {
  std::wstring path = Wide(windowsPath);
  if (path.size() >= 2 && path[1] == L':') path.erase(0, 2);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  while (!path.empty() && path.front() == L'\\') path.erase(0, 1);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return L"C:\\" + path;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The name the file system gives the last component of an existing path.
std::wstring NameOnDisk(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(path.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return {};
  FindClose(search);
  return data.cFileName;
}

// Names that differ only in case are one name on Windows: a test that makes
// both belongs in a *_posix_test.cpp.
void ExpectSpeltAsAsked(const std::wstring& path) {
  const std::wstring asked = path.substr(path.find_last_of(L'\\') + 1);
  const std::wstring onDisk = NameOnDisk(path);
  EXPECT_TRUE(onDisk.empty() || onDisk == asked)
      << Utf8(path) << " is spelt " << Utf8(onDisk) << " on disk: names that differ only in case "
      << "are one name on Windows, so such a case belongs in a *_posix_test.cpp";
}

// Adds `path` to *created unless it lies inside something already there.
void Remember(const std::wstring& path, std::vector<std::string>* created) {
  const std::string utf8 = Utf8(path);
  for (const std::string& outer : *created)
    if (utf8 == outer || utf8.rfind(outer + "\\", 0) == 0) return;
  created->push_back(utf8);
}

// Creates every missing folder of `folder` (a path on C:), remembering the
// outermost one made.
void MakeFolders(const std::wstring& folder, std::vector<std::string>* created) {
  if (folder.size() <= 3) return;  // the drive's root
  for (std::size_t end = folder.find(L'\\', 3);; end = folder.find(L'\\', end + 1)) {
    const std::wstring part = folder.substr(0, end);
    if (!Exists(part)) {
      if (!CreateDirectoryW(part.c_str(), nullptr))
        throw std::runtime_error("CreateDirectoryW " + Utf8(part) + ": " + SystemMessage(GetLastError()));
      Remember(part, created);
    } else {
      ExpectSpeltAsAsked(part);
    }
    if (end == std::wstring::npos) return;
  }
}

void RemoveTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  // A link to a folder goes as a link: what it leads to is not ours.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
      } while (FindNextFileW(search, &data));
      FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    RemoveDirectoryW(path.c_str());
  } else {
    DeleteFileW(path.c_str());
  }
}

bool KeyExists(const std::wstring& key) {
  HKEY handle;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

std::wstring KeyPath(std::string_view key) {
  std::wstring path = Wide(key);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

// Opens `key` under HKEY_CURRENT_USER for writing, creating it and
// remembering the outermost key made.
HKEY CreateKey(const std::wstring& key, std::vector<std::string>* created) {
  for (std::size_t end = key.find(L'\\');; end = key.find(L'\\', end + 1)) {
    const std::wstring part = key.substr(0, end);
    if (!KeyExists(part)) {
      Remember(part, created);
      break;
    }
    if (end == std::wstring::npos) break;
  }
  HKEY handle;
  const LONG result =
      RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr);
  if (result != ERROR_SUCCESS)
    throw std::runtime_error("RegCreateKeyExW " + Utf8(key) + ": " + SystemMessage(static_cast<DWORD>(result)));
  return handle;
}

}  // namespace

TestPrefix::TestPrefix() : m_root("C:\\") {}

TestPrefix::~TestPrefix() {
  for (auto it = m_createdPaths.rbegin(); it != m_createdPaths.rend(); ++it) RemoveTree(Wide(*it));
  for (auto it = m_createdKeys.rbegin(); it != m_createdKeys.rend(); ++it)
    RegDeleteTreeW(HKEY_CURRENT_USER, Wide(*it).c_str());
}

std::string TestPrefix::HostPath(std::string_view windowsPath) const { return Utf8(OnDriveC(windowsPath)); }

void TestPrefix::WriteFile(std::string_view windowsPath, std::string_view bytes) const {
  const std::wstring path = OnDriveC(windowsPath);
  MakeFolders(path.substr(0, path.find_last_of(L'\\')), &m_createdPaths);
  const bool existed = Exists(path);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8(path) << ": " << SystemMessage(GetLastError());
  DWORD written = 0;
  const BOOL wrote = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_TRUE(wrote && written == bytes.size()) << Utf8(path) << ": " << SystemMessage(GetLastError());
  if (existed)
    ExpectSpeltAsAsked(path);
  else
    Remember(path, &m_createdPaths);
}

void TestPrefix::MakeFolder(std::string_view windowsPath) const { MakeFolders(OnDriveC(windowsPath), &m_createdPaths); }

std::string TestPrefix::ReadFile(std::string_view windowsPath) const {
  const std::wstring path = OnDriveC(windowsPath);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char buffer[64 * 1024];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

void TestPrefix::SetRegistryValue(std::string_view key, std::string_view name, std::uint32_t type,
                                  const std::vector<std::uint8_t>& data) {
  HKEY handle = CreateKey(KeyPath(key), &m_createdKeys);
  const std::wstring valueName = Wide(name);
  // Windows counts a string's terminating zero in when it finds one just
  // past the data; what follows here is none, so the data is kept exactly.
  std::vector<std::uint8_t> stored = data;
  stored.insert(stored.end(), {0xFF, 0xFF});
  const LONG result = RegSetValueExW(handle, name.empty() ? nullptr : valueName.c_str(), 0, type,
                                     data.empty() ? nullptr : stored.data(), static_cast<DWORD>(data.size()));
  RegCloseKey(handle);
  ASSERT_EQ(result, ERROR_SUCCESS) << key << " " << name;
}

void TestPrefix::SetRegistryString(std::string_view key, std::string_view name, std::string_view text) {
  SetRegistryValue(key, name, REG_SZ, Utf16LeBytes(text));
}

void TestPrefix::MakeRegistryKey(std::string_view key) { RegCloseKey(CreateKey(KeyPath(key), &m_createdKeys)); }

// The registry itself holds the values on Windows.
void TestPrefix::SaveRegistry() const {}

std::vector<std::uint8_t> Utf16LeBytes(std::string_view utf8, bool terminate) {
  std::vector<std::uint8_t> out;
  for (wchar_t unit : Wide(utf8)) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
  }
  if (terminate) out.insert(out.end(), {0, 0});
  return out;
}

std::string CorpusFolder() {
  std::string folder;
  if (const char* configured = std::getenv("QUIETWALK_CORPUS"))
    folder = configured;
  else
    folder = QUIETWALK_DEFAULT_CORPUS;
  // The default is a path of the Linux build machine, which Wine shows on Z:.
  if (!folder.empty() && folder.front() == '/') {
    for (char& c : folder)
      if (c == '/') c = '\\';
    folder = "Z:" + folder;
  }
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  return isFolder ? folder : std::string();
}

}  // namespace testing_support
