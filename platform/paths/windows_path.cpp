#include "platform/paths/windows_path.h"

#include "platform/text/code_page.h"

namespace platform {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsDriveLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool SameDriveLetter(char16_t a, char16_t b) { return (a | 0x20) == (b | 0x20); }

bool IsUncOrDevice(std::u16string_view path) {
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

template <typename Char>
bool IsDriveAbsoluteText(std::basic_string_view<Char> path) {
  return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == Char(':') && path[2] == Char('\\');
}

template <typename Char>
bool IsAlreadyFullText(std::basic_string_view<Char> path) {
  if (!IsDriveAbsoluteText(path)) return false;
  std::size_t start = 3;
  for (std::size_t i = start; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != Char('\\')) {
      if (path[i] == Char('/')) return false;
      continue;
    }
    if (i == start) return i == path.size();  // only a final "\" may end nothing
    // This also catches "." and "..".
    if (path[i - 1] == Char('.') || path[i - 1] == Char(' ')) return false;
    start = i + 1;
  }
  return true;
}

// Start of the component that ends just before `end` (a "\" or the end),
// not going below `mark`.
std::size_t StartOfComponentBefore(const std::u16string& path, std::size_t end, std::size_t mark) {
  while (end > mark && path[end - 1] != u'\\') --end;
  return end;
}

// What GetFullPathName does to a full path once it is put together; the
// first `mark` characters ("X:\") stay as they are.
void Collapse(std::u16string* path, std::size_t mark) {
  std::u16string& s = *path;
  for (char16_t& c : s)
    if (c == u'/') c = u'\\';
  std::size_t kept = mark;
  for (std::size_t i = mark; i < s.size(); ++i)
    if (s[i] != u'\\' || s[kept - 1] != u'\\') s[kept++] = s[i];
  s.resize(kept);

  std::size_t p = mark;
  while (p < s.size()) {
    const auto at = [&s](std::size_t i) { return i < s.size() ? s[i] : u'\0'; };
    if (s[p] == u'.' && (at(p + 1) == u'\\' || at(p + 1) == u'\0')) {
      if (at(p + 1) == u'\\') {  // ".\" goes
        s.erase(p, 2);
      } else {  // a final "." goes with the "\" before it
        if (p > mark) --p;
        s.resize(p);
      }
      continue;
    }
    if (s[p] == u'.' && at(p + 1) == u'.' && (at(p + 2) == u'\\' || at(p + 2) == u'\0')) {
      // ".." takes the component before it away; a final one its "\" too.
      std::size_t start = p > mark ? StartOfComponentBefore(s, p - 1, mark) : p;
      if (at(p + 2) == u'\\') {
        s.erase(start, p + 3 - start);
      } else {
        if (start > mark) --start;
        s.resize(start);
      }
      p = start;
      continue;
    }
    while (p < s.size() && s[p] != u'\\') ++p;
    if (p == s.size()) break;
    // A component followed by "\" loses one final dot.
    if (p > mark && s[p - 1] == u'.')
      s.erase(p - 1, 1);
    else
      ++p;
  }
  // The last component loses every final dot and space.
  std::size_t end = s.size();
  while (end > mark && (s[end - 1] == u' ' || s[end - 1] == u'.')) --end;
  s.resize(end);
}

// Calls `onCharacter(isSeparator)` for every character of an ANSI path: a
// lead byte and the byte after it are one character.
template <typename OnCharacter>
void ForEachCharacter(std::string_view ansi, unsigned codePage, OnCharacter onCharacter) {
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(ansi[i]);
    if (i + 1 < ansi.size() && IsAnsiLeadByte(codePage, byte)) {
      onCharacter(false);
      ++i;
      continue;
    }
    onCharacter(byte == '\\' || byte == '/');
  }
}

template <typename Char>
bool IsDeviceNameText(std::basic_string_view<Char> name) {
  while (!name.empty() && name.back() == Char(':')) name.remove_suffix(1);
  if (const std::size_t dot = name.find(Char('.')); dot != name.npos) {
    name = name.substr(0, dot);
    if (!name.empty() && name.back() == Char(':')) name.remove_suffix(1);
  }
  while (!name.empty() && name.back() == Char(' ')) name.remove_suffix(1);
  const auto equals = [name](std::string_view device, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
      const Char c = name[i];
      if ((c >= Char('A') && c <= Char('Z') ? c - Char('A') + Char('a') : c) != Char(device[i])) return false;
    }
    return true;
  };
  switch (name.size()) {
    case 3: return equals("aux", 3) || equals("con", 3) || equals("nul", 3) || equals("prn", 3);
    case 4: return (equals("com", 3) || equals("lpt", 3)) && name[3] >= Char('1') && name[3] <= Char('9');
    case 6: return equals("conin$", 6);
    case 7: return equals("conout$", 7);
    default: return false;
  }
}

}  // namespace

bool HasDrive(std::u16string_view path) { return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == u':'; }
bool IsDriveAbsolute(std::u16string_view path) { return IsDriveAbsoluteText(path); }
bool IsDriveAbsolute(std::string_view asciiPath) { return IsDriveAbsoluteText(asciiPath); }
bool IsAlreadyFull(std::u16string_view path) { return IsAlreadyFullText(path); }
bool IsAlreadyFull(std::string_view asciiPath) { return IsAlreadyFullText(asciiPath); }

std::u16string FullPathName(std::u16string_view path, std::u16string_view currentFolder) {
  if (path.empty()) return {};
  if (IsUncOrDevice(path)) {
    std::u16string unchanged(path);
    for (char16_t& c : unchanged)
      if (c == u'/') c = u'\\';
    return unchanged;
  }
  const bool haveCurrent = IsDriveAbsolute(currentFolder);
  std::u16string full;
  std::u16string_view rest = path;
  if (HasDrive(path)) {
    rest = path.substr(2);
    const bool driveRelative = rest.empty() || !IsSeparator(rest[0]);
    if (driveRelative && haveCurrent && SameDriveLetter(currentFolder[0], path[0])) {
      // "C:" alone is the current folder with a final "\".
      full = currentFolder;
      full += u'\\';
    } else {
      full = {path[0], u':', u'\\'};
    }
  } else if (!haveCurrent) {
    return {};
  } else if (IsSeparator(path[0])) {
    full = currentFolder.substr(0, 3);
  } else {
    full = currentFolder;
    full += u'\\';
  }
  full.append(rest);
  Collapse(&full, 3);
  return full;
}

bool EndsWithSeparator(std::string_view ansiPath, unsigned codePage) {
  bool last = false;
  ForEachCharacter(ansiPath, codePage, [&](bool isSeparator) { last = isSeparator; });
  return last;
}

bool IsOneNameComponent(std::string_view ansiName, unsigned codePage) {
  if (ansiName.find_first_not_of('.') == std::string_view::npos) return false;  // empty too
  // The usual name holds no byte of a separator, whatever bytes lead.
  if (ansiName.find('\\') == std::string_view::npos && ansiName.find('/') == std::string_view::npos) return true;
  bool found = false;
  ForEachCharacter(ansiName, codePage, [&](bool isSeparator) { found = found || isSeparator; });
  return !found;
}

bool IsDeviceName(std::string_view name) { return IsDeviceNameText(name); }
bool IsDeviceName(std::u16string_view name) { return IsDeviceNameText(name); }

}  // namespace platform
