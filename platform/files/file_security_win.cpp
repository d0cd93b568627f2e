#include "platform/files/file_security_win.h"

#include <aclapi.h>

#include <cstring>

#include "platform/files/file_handle_win.h"

namespace platform {
namespace {

// Under Wine a security descriptor stands for Unix permission bits, and Wine
// shows execute rights for every file that may be read; given execute
// rights it sets the execute bits. Between a file and its replacement they
// are noise there.
ACCESS_MASK Comparable(ACCESS_MASK mask) { return RunsUnderWine() ? mask & ~FILE_EXECUTE : mask; }

const ACE_HEADER* AceAt(PACL acl, WORD i) {
  void* ace = nullptr;
  GetAce(acl, i, &ace);
  return static_cast<const ACE_HEADER*>(ace);
}

bool IsAllowOrDeny(const ACE_HEADER* ace) {
  return ace->AceType == ACCESS_ALLOWED_ACE_TYPE || ace->AceType == ACCESS_DENIED_ACE_TYPE;
}

}  // namespace

Security::Security(HANDLE file, SECURITY_INFORMATION what)
    : m_error(GetSecurityInfo(file, SE_FILE_OBJECT, what, &m_owner, nullptr, &m_dacl, nullptr, &m_descriptor)) {}

Security::~Security() { LocalFree(m_descriptor); }

ReplacementSecurity::ReplacementSecurity(const Security& original) {
  InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&m_descriptor, original.owner(), FALSE);
  if (original.dacl() == nullptr) return;  // no list: a file system without security
  const ACL* dacl = original.dacl();
  m_dacl.resize(dacl->AclSize / sizeof(std::uint64_t) + 1);
  std::memcpy(m_dacl.data(), dacl, dacl->AclSize);
  auto* copy = reinterpret_cast<PACL>(m_dacl.data());
  for (WORD i = 0; i < copy->AceCount; ++i) {
    auto* ace = const_cast<ACE_HEADER*>(AceAt(copy, i));
    if (IsAllowOrDeny(ace)) {
      auto* entry = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
      entry->Mask = Comparable(entry->Mask);
    }
  }
  SetSecurityDescriptorDacl(&m_descriptor, TRUE, copy, FALSE);
  SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

bool SameEntries(PACL a, PACL b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (a->AceCount != b->AceCount) return false;
  for (WORD i = 0; i < a->AceCount; ++i) {
    const ACE_HEADER* x = AceAt(a, i);
    const ACE_HEADER* y = AceAt(b, i);
    if (x->AceType != y->AceType || x->AceSize != y->AceSize) return false;
    if (IsAllowOrDeny(x)) {
      // Allow and deny entries share one layout.
      const auto* allowX = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(x);
      const auto* allowY = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(y);
      if (Comparable(allowX->Mask) != Comparable(allowY->Mask) ||
          !EqualSid(const_cast<DWORD*>(&allowX->SidStart), const_cast<DWORD*>(&allowY->SidStart)))
        return false;
    } else if (std::memcmp(x + 1, y + 1, x->AceSize - sizeof(ACE_HEADER)) != 0) {
      return false;
    }
  }
  return true;
}

bool PermissionsAllowWriting(HANDLE file) {
  Security security(file, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  if (security.error() != ERROR_SUCCESS) return false;
  HANDLE process = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process)) return false;
  ScopedHandle processToken(process);
  HANDLE token = nullptr;
  if (!DuplicateToken(process, SecurityImpersonation, &token)) return false;
  ScopedHandle impersonation(token);
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  PRIVILEGE_SET privileges;
  DWORD privilegesSize = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  return AccessCheck(security.descriptor(), token, FILE_WRITE_DATA, &mapping, &privileges, &privilegesSize, &granted,
                     &allowed) &&
         allowed;
}

}  // namespace platform
