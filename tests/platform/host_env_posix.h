#pragma once

// Test helpers that change the process's environment and working folder,
// each undone when it goes out of scope.

#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace testing_support {

class ScopedEnv {
 public:
  // Sets `name` to `value`, or unsets it when `value` is null.
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = getenv(name)) m_old = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_old)
      setenv(m_name.c_str(), m_old->c_str(), 1);
    else
      unsetenv(m_name.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

// Runs the process's code page choice from this locale alone.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* lcAll)
      : m_lcAll("LC_ALL", lcAll), m_lcCtype("LC_CTYPE", nullptr), m_lang("LANG", nullptr) {}

 private:
  ScopedEnv m_lcAll, m_lcCtype, m_lang;
};

// LANG set to `lang` with LC_ALL and LC_CTYPE unset, as a user's session
// has it; all three come back afterwards.
class ScopedLang {
 public:
  explicit ScopedLang(const char* lang) : m_lang("LANG", lang) {}

 private:
  ScopedEnv m_lcAll{"LC_ALL", nullptr};
  ScopedEnv m_lcCtype{"LC_CTYPE", nullptr};
  ScopedEnv m_lang;
};

class ScopedWorkingFolder {
 public:
  explicit ScopedWorkingFolder(const std::string& folder) {
    if (char* old = getcwd(nullptr, 0)) {
      m_old = old;
      free(old);
    }
    m_changed = chdir(folder.c_str()) == 0;
  }
  ~ScopedWorkingFolder() {
    if (!m_old.empty() && chdir(m_old.c_str()) != 0) abort();
  }
  ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
  ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;
  bool changed() const { return m_changed; }

 private:
  std::string m_old;
  bool m_changed = false;
};

inline bool LocaleInstalled(const char* name) {
  locale_t locale = newlocale(LC_ALL_MASK, name, nullptr);
  if (locale == nullptr) return false;
  freelocale(locale);
  return true;
}

inline constexpr const char* kJapaneseLocale = "ja_JP.UTF-8";

// Wine's code page tables, which hold its best-fit conversions, where the
// Debian package puts them.
inline bool WineTablesInstalled() { return access("/usr/share/wine/nls/c_932.nls", R_OK) == 0; }

}  // namespace testing_support
