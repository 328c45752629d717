// Who may write into a folder, read from its access list.
#include "platform/win32/folder_access.h"

#include <cstddef>
#include <cstring>

namespace platform::win32 {

namespace {

// A SID by its bytes: revision 1, the count of sub-authorities, the
// authority in 6 bytes big-endian, each sub-authority in 4 bytes
// little-endian.
struct alignas(4) SidBytes {
  BYTE bytes[16];
};

constexpr SidBytes kLocalSystem{{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}};
constexpr SidBytes kAdministrators{
    {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0}};
constexpr SidBytes kCreatorOwner{{1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0}};

PSID AsSid(const SidBytes &sid) {
  return const_cast<BYTE *>(sid.bytes); // NOLINT: the API takes PSID
}

// The length of a SID in bytes: 8, and 4 for each sub-authority.
size_t SidLength(PSID sid) {
  return 8 + size_t{4} * static_cast<const BYTE *>(sid)[1];
}

} // namespace

PSID LocalSystemSid() { return AsSid(kLocalSystem); }
PSID AdministratorsSid() { return AsSid(kAdministrators); }
PSID CreatorOwnerSid() { return AsSid(kCreatorOwner); }

bool SameSid(PSID a, PSID b) {
  return SidLength(a) == SidLength(b) && std::memcmp(a, b, SidLength(a)) == 0;
}

ACL *FullControlFor(const PSID *sids, size_t count, BYTE *buffer, size_t size) {
  // The list's header, then one allowing entry for each SID: a header, the
  // rights and the SID.
  constexpr size_t kSidAt = offsetof(ACCESS_ALLOWED_ACE, SidStart);
  size_t used = sizeof(ACL);
  for (size_t k = 0; k < count; ++k)
    used += kSidAt + SidLength(sids[k]);
  if (used > size || used > 0xFFFF)
    return nullptr;
  std::memset(buffer, 0, used);
  auto *acl = reinterpret_cast<ACL *>(buffer);
  acl->AclRevision = ACL_REVISION;
  acl->AclSize = static_cast<WORD>(used);
  acl->AceCount = static_cast<WORD>(count);
  size_t at = sizeof(ACL);
  for (size_t k = 0; k < count; ++k) {
    auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(buffer + at);
    const size_t length = SidLength(sids[k]);
    ace->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    ace->Header.AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    ace->Header.AceSize = static_cast<WORD>(kSidAt + length);
    ace->Mask = FILE_ALL_ACCESS;
    std::memcpy(buffer + at + kSidAt, sids[k], length);
    at += kSidAt + length;
  }
  return acl;
}

bool OthersCanWrite(const ACL *dacl, const PSID *trusted, size_t count) {
  if (!dacl)
    return true;
  const auto *bytes = reinterpret_cast<const BYTE *>(dacl);
  size_t offset = sizeof(ACL);
  for (WORD i = 0; i < dacl->AceCount; ++i) {
    if (offset + sizeof(ACCESS_ALLOWED_ACE) > dacl->AclSize)
      return true;
    const auto *ace =
        reinterpret_cast<const ACCESS_ALLOWED_ACE *>(bytes + offset);
    const BYTE type = ace->Header.AceType;
    const size_t size = ace->Header.AceSize;
    if (size < sizeof(ACE_HEADER) || offset + size > dacl->AclSize)
      return true;
    offset += size;
    const bool allows = type == ACCESS_ALLOWED_ACE_TYPE ||
                        type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
                        type == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
                        type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE ||
                        type == ACCESS_ALLOWED_COMPOUND_ACE_TYPE;
    if (!allows || !(ace->Mask & kWriteRights))
      continue;
    // Only these two kinds keep the SID right after the mask.
    if (type != ACCESS_ALLOWED_ACE_TYPE &&
        type != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
      return true;
    // The SID: revision, count of sub-authorities, 6 bytes of authority and
    // 4 bytes for each sub-authority, within the entry.
    constexpr size_t kSidAt = offsetof(ACCESS_ALLOWED_ACE, SidStart);
    const BYTE *sidBytes = bytes + offset - size + kSidAt;
    if (size < kSidAt + 8 || sidBytes[0] != SID_REVISION ||
        size < kSidAt + 8 + size_t{4} * sidBytes[1])
      return true;
    const auto sid = const_cast<BYTE *>(sidBytes); // NOLINT: the API's PSID
    if ((ace->Header.AceFlags & INHERIT_ONLY_ACE) &&
        SameSid(sid, CreatorOwnerSid()))
      continue;
    bool known = false;
    for (size_t k = 0; k < count && !known; ++k)
      known = SameSid(sid, trusted[k]);
    if (!known)
      return true;
  }
  return false;
}

} // namespace platform::win32
