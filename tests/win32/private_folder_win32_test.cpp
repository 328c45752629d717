// A folder of the user's own on Windows: made private, refused when somebody
// else may write into it, and the reading of an access list behind that.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <functional>
#include <sddl.h>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/win32/folder_access.h"
#include "tests/win32/temp_folder.h"

namespace {

namespace fs = platform::fs;
namespace err = platform::err;
namespace win32 = platform::win32;

std::string ErrorText(const std::function<void()> &fn) {
  try {
    fn();
  } catch (const platform::Error &e) {
    return e.Description();
  }
  return "";
}

// An access list from its SDDL form ("D:(A;;FA;;;SY)...").
class Sddl {
public:
  explicit Sddl(const wchar_t *text) {
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        text, SDDL_REVISION_1, &descriptor_, nullptr))
        << "SDDL " << ::GetLastError();
    BOOL present = FALSE, defaulted = FALSE;
    if (descriptor_)
      ::GetSecurityDescriptorDacl(descriptor_, &present, &dacl_, &defaulted);
  }
  ~Sddl() { ::LocalFree(descriptor_); }
  Sddl(const Sddl &) = delete;
  Sddl &operator=(const Sddl &) = delete;
  const ACL *Dacl() const { return dacl_; }

private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  PACL dacl_ = nullptr;
};

TEST(Win32FolderAccess, OnlyTheUserSystemAndAdministratorsMayWrite) {
  // S-1-5-21-1-2-3-1000 stands for the user.
  const std::wstring user = L"S-1-5-21-1-2-3-1000";
  PSID userSid = nullptr;
  ASSERT_TRUE(::ConvertStringSidToSidW(user.c_str(), &userSid));
  const PSID trusted[] = {userSid, win32::LocalSystemSid(),
                          win32::AdministratorsSid()};
  struct Case {
    std::wstring sddl;
    bool othersCanWrite;
  };
  const Case cases[] = {
      {L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + L")",
       false},
      {L"D:(A;;FA;;;" + user + L")(A;OICI;0x1200a9;;;WD)", false}, // read
      {L"D:(A;OICIIO;FA;;;CO)", false},       // handed down to the maker
      {L"D:(A;OICI;FA;;;CO)", true},          // CREATOR OWNER itself
      {L"D:(A;OICIIO;FA;;;WD)", true},        // handed down to everybody
      {L"D:(A;;FA;;;WD)", true},              // Everyone
      {L"D:(A;;0x2;;;BU)", true},             // Users: add a file
      {L"D:(A;;0x4;;;AU)", true},             // add a folder
      {L"D:(A;;0x40;;;WD)", true},            // delete a child
      {L"D:(A;;SD;;;WD)", true},              // DELETE
      {L"D:(A;;WD;;;WD)", true},              // WRITE_DAC
      {L"D:(A;;WO;;;WD)", true},              // WRITE_OWNER
      {L"D:(A;;GW;;;WD)", true},              // GENERIC_WRITE
      {L"D:(A;;GA;;;WD)", true},              // GENERIC_ALL
      {L"D:(D;;FA;;;WD)(A;;FR;;;WD)", false}, // a denial grants nothing
      {L"D:", false},                         // an empty list: nobody
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(win32::Narrow(c.sddl));
    const Sddl acl(c.sddl.c_str());
    ASSERT_NE(acl.Dacl(), nullptr);
    EXPECT_EQ(win32::OthersCanWrite(acl.Dacl(), trusted, 3), c.othersCanWrite);
  }
  EXPECT_TRUE(win32::OthersCanWrite(nullptr, trusted, 3)); // a null list
  ::LocalFree(userSid);
}

TEST(Win32FolderAccess, FullControlForIsWhatTheCheckAccepts) {
  const PSID sids[] = {win32::LocalSystemSid(), win32::AdministratorsSid()};
  alignas(8) BYTE buffer[256];
  const ACL *acl = win32::FullControlFor(sids, 2, buffer, sizeof buffer);
  ASSERT_NE(acl, nullptr);
  EXPECT_TRUE(::IsValidAcl(const_cast<ACL *>(acl)));
  EXPECT_EQ(acl->AceCount, 2);
  EXPECT_FALSE(win32::OthersCanWrite(acl, sids, 2));
  EXPECT_TRUE(win32::OthersCanWrite(acl, sids, 1)); // Administrators: other
  EXPECT_EQ(win32::FullControlFor(sids, 2, buffer, 20), nullptr);
}

class Win32PrivateFolder : public ::testing::Test {
protected:
  wintest::TempFolder dir;
};

TEST_F(Win32PrivateFolder, MadePrivateAndHeld) {
  const std::string path = dir / "private";
  fs::MkPrivateDir(path);
  const fs::PrivateFolder held(path);
  EXPECT_TRUE(held.Empty());
  wintest::WriteFile(path + "\\script", "ours");
  EXPECT_FALSE(held.Empty());
  // Held, its name cannot be given to another folder.
  EXPECT_FALSE(::MoveFileW(wintest::Widen(path).c_str(),
                           wintest::Widen(dir / "moved").c_str()));
  const platform::os::File file(
      path + "\\script", held.OpenFile("SCRIPT", platform::OpenMode::ReadOnly));
  char bytes[4] = {};
  EXPECT_EQ(platform::os::ReadAt(file.Handle(), 0, bytes, 4, file.Path()), 4u);
  EXPECT_EQ(std::string(bytes, 4), "ours");
  EXPECT_EQ(ErrorText([&] { fs::MkPrivateDir(path); }).empty(), false);
}

TEST_F(Win32PrivateFolder, AFolderEveryoneMayWriteIntoIsRefused) {
  const std::string path = dir / "open";
  wintest::MakeFolder(path);
  const Sddl everyone(L"D:(A;OICI;FA;;;WD)");
  ASSERT_EQ(::SetNamedSecurityInfoW(wintest::Widen(path).data(), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    const_cast<ACL *>(everyone.Dacl()),
                                    nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  const std::string text = ErrorText([&] { const fs::PrivateFolder f(path); });
  EXPECT_NE(text.find(path), std::string::npos) << text;
  EXPECT_NE(text.find("другие пользователи"), std::string::npos) << text;
  // A missing folder is no folder at all, and nor is a file at the name or
  // on the way to it.
  wintest::WriteFile(dir / "file", "a file");
  for (const std::string name : {"missing", "file", "file\\below"}) {
    try {
      const fs::PrivateFolder missing(dir / name);
      ADD_FAILURE() << name << " was held";
    } catch (const platform::Error &e) {
      EXPECT_EQ(e.Number(), err::kPathNotFound) << name;
      EXPECT_EQ(e.Description().find("ссылка"), std::string::npos)
          << e.Description();
    }
  }
}

TEST_F(Win32PrivateFolder, ForcedDeleteTakesOffReadOnlyMarks) {
  const std::string root = dir / "tree";
  wintest::MakeFolder(root);
  wintest::MakeFolder(root + "\\sub");
  wintest::WriteFile(root + "\\a-readonly", "r");
  wintest::WriteFile(root + "\\sub\\inner", "i");
  wintest::SetAttributes(root + "\\a-readonly", FILE_ATTRIBUTE_READONLY);
  wintest::SetAttributes(root + "\\sub\\inner", FILE_ATTRIBUTE_READONLY);
  EXPECT_NE(ErrorText([&] { fs::DeleteFolder(root); }), "");
  EXPECT_TRUE(wintest::FileExists(root + "\\a-readonly"));
  fs::DeleteFolder(root, true);
  EXPECT_FALSE(wintest::FileExists(root));
}

} // namespace
