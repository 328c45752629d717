// Reading the run's own manifest.
#include "run/own_manifest.h"

#include <string>

#include "package/damage.h"
#include "package/file_source.h"
#include "package/long_records.h"
#include "package/manifest.h"
#include "package/pe_image.h"
#include "package/texts.h"
#include "package/trailer.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "run/container.h"
#include "run/run_texts.h"

namespace mdl_main {

namespace {

namespace files = platform::files;

// The manifest of the executable and the length of the package in it.
struct OwnPackage {
  package::Manifest manifest;
  int64_t length = 0;
  int64_t fileLength = 0;
};

// One read of the headers and of the block where the image ends; a file
// that cannot be read counts as one without a manifest.
OwnPackage ReadOwnPackage() {
  OwnPackage own;
  const int16_t number = files::FreeFile();
  try {
    files::Open(number, ProgramExePath(), platform::OpenMode::ReadOnly);
    const package::FileSource file(number);
    const package::pe::ImageHeaders headers =
        package::pe::ReadImageHeaders(file);
    own.fileLength = file.Size();
    own.length = package::PackageLength(headers, own.fileLength);
    if (headers.end)
      own.manifest = package::ReadManifest(file, *headers.end);
  } catch (const platform::Error &) {
    own = {};
  }
  try {
    files::Close(number);
  } catch (const platform::Error &) {
  }
  return own;
}

// What is wrong with a damaged manifest.
std::string ManifestDamage(const OwnPackage &own) {
  using platform::Msg;
  switch (own.manifest.fault) {
  case package::ManifestFault::Cut:
    return platform::Message(Msg::ManifestCut,
                             {std::to_string(own.fileLength)});
  case package::ManifestFault::TooLong:
    return platform::Message(Msg::ManifestTooLong,
                             {std::to_string(own.manifest.payloadLength)});
  case package::ManifestFault::Crc:
    return platform::MsgText(Msg::ManifestCrc);
  case package::ManifestFault::NotPairs:
  case package::ManifestFault::BadLength:
  case package::ManifestFault::None:
    break;
  }
  return platform::MsgText(Msg::ManifestUnreadable);
}

[[noreturn]] void RaiseDamaged(std::string description) {
  throw platform::Error(package::kErrPackageDamaged,
                        WithDamagedSentence(std::move(description)));
}

} // namespace

Declared LoadOwnManifest() {
  const OwnPackage own = ReadOwnPackage();
  const package::Manifest &manifest = own.manifest;
  switch (manifest.state) {
  case package::ManifestState::Absent:
    SetTexts(package::PlainTexts());
    return {};
  case package::ManifestState::Damaged:
    SetTexts(package::DefaultTexts());
    RaiseDamaged(ManifestDamage(own));
  case package::ManifestState::Intact:
    break;
  }
  // Texts of their own start from build's defaults: the damaged sentence
  // is there unless the manifest says otherwise.
  package::Texts texts = package::DefaultTexts();
  package::ApplyTexts(manifest.payload, texts);
  SetTexts(texts);
  package::ApplyMessages(manifest.payload);
  // A cut download, or bytes added after the package.
  if (manifest.length >= 0 && manifest.length != own.length)
    RaiseDamaged(platform::Message(
        platform::Msg::PackageLength,
        {std::to_string(own.length), std::to_string(manifest.length)}));
  // Names in the catalog, the script and the checksum entry are read in the
  // package's own code page, whatever the system's is.
  const int codePage = package::DeclaredCodePage(manifest.payload);
  if (codePage != 0 && !platform::SetFileCodePage(codePage))
    throw platform::Error(platform::err::kInvalidCall,
                          platform::Message(platform::Msg::CodePageMissing,
                                            {std::to_string(codePage)}));
  return {package::FindValue(manifest.payload, package::kSumsKey) == "1",
          package::FindValue(manifest.payload,
                             package::script::kLongScriptKey) == "1"};
}

} // namespace mdl_main
