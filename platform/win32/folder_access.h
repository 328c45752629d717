// Who may write into a folder, read from its access list: the check behind
// fs::PrivateFolder and the access list that fs::MkPrivateDir gives.
#pragma once

#include <cstddef>

#include "platform/win32/windows_support.h"

namespace platform::win32 {

// Rights that let their holder change what a folder holds, or who may.
inline constexpr ACCESS_MASK kWriteRights =
    FILE_WRITE_DATA | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY |
    FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
    GENERIC_ALL;

// SYSTEM (S-1-5-18), Administrators (S-1-5-32-544) and CREATOR OWNER
// (S-1-3-0).
PSID LocalSystemSid();
PSID AdministratorsSid();
PSID CreatorOwnerSid();

// True when two SIDs are the same (EqualSid, without the import).
bool SameSid(PSID a, PSID b);

// An access list, in buffer, that gives every one of the count SIDs full
// control, handed down to everything made inside; nullptr when it does not
// fit.
ACL *FullControlFor(const PSID *sids, size_t count, BYTE *buffer, size_t size);

// True when dacl lets anybody but the count trusted SIDs write: an allowing
// entry with any of kWriteRights for another SID. An entry for CREATOR OWNER
// that is only handed down (inherit-only) grants nothing on the folder
// itself, and to what is made in it only its maker: no writer. A null list
// lets everybody write; an allowing entry whose SID cannot be read, or a list
// that does not hold together, counts as anybody's.
bool OthersCanWrite(const ACL *dacl, const PSID *trusted, size_t count);

} // namespace platform::win32
