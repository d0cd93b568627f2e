#pragma once

// A file's owner and permissions as the Windows half of the world folder
// reads them, carries them over to a replacement and checks them.

#include <windows.h>

#include <cstdint>
#include <vector>

namespace platform {

// The owner and discretionary ACL of a file, as GetSecurityInfo gives them.
class Security {
 public:
  explicit Security(HANDLE file, SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  ~Security();
  Security(const Security&) = delete;
  Security& operator=(const Security&) = delete;

  DWORD error() const { return m_error; }
  PSECURITY_DESCRIPTOR descriptor() const { return m_descriptor; }
  PSID owner() const { return m_owner; }
  PACL dacl() const { return m_dacl; }

 private:
  PSECURITY_DESCRIPTOR m_descriptor = nullptr;
  PSID m_owner = nullptr;
  PACL m_dacl = nullptr;
  DWORD m_error;
};

// The security a replacement is created with: the original's owner and
// entries, protected from the folder's inherited ones, which the original
// list already holds.
class ReplacementSecurity {
 public:
  explicit ReplacementSecurity(const Security& original);
  ReplacementSecurity(const ReplacementSecurity&) = delete;
  ReplacementSecurity& operator=(const ReplacementSecurity&) = delete;

  PSECURITY_DESCRIPTOR descriptor() { return &m_descriptor; }

 private:
  SECURITY_DESCRIPTOR m_descriptor;
  std::vector<std::uint64_t> m_dacl;
};

// The same entries in the same order; their inheritance flags aside, which
// a copied list cannot keep.
bool SameEntries(PACL a, PACL b);

// Whether the file's own permissions let this user write it. When they do
// and the system refuses all the same, the refusal is the volume's: a
// write-protected drive or a read-only mount.
bool PermissionsAllowWriting(HANDLE file);

}  // namespace platform
