// Reading the run's own manifest.
#include "run/own_manifest.h"

#include <optional>
#include <string>

#include "package/damage.h"
#include "package/expected_state.h"
#include "package/file_source.h"
#include "package/file_times.h"
#include "package/long_records.h"
#include "package/manifest.h"
#include "package/pe_image.h"
#include "package/texts.h"
#include "package/trailer.h"
#include "platform/codepage.h"
#include "platform/decimal.h"
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
  std::optional<platform::Error> unread; // why the file could not be read
};

// What LoadOwnManifest found: nullopt when the file could not be read.
std::optional<bool> ownManifest;

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
    own.length = package::PackageLength(file, headers);
    if (headers.end)
      own.manifest = package::ReadManifest(file, *headers.end);
  } catch (const platform::Error &e) {
    own = {};
    own.unread = e;
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
                             {platform::Decimal(own.fileLength)});
  case package::ManifestFault::TooLong:
    return platform::Message(Msg::ManifestTooLong,
                             {platform::Decimal(own.manifest.payloadLength)});
  case package::ManifestFault::Crc:
    return platform::MsgText(Msg::ManifestCrc);
  case package::ManifestFault::NotPairs:
  case package::ManifestFault::BadLength:
  case package::ManifestFault::None:
    break;
  }
  return platform::MsgText(Msg::ManifestUnreadable);
}

} // namespace

void RaiseDamaged(std::string description) {
  RaiseWithDamagedSentence(
      platform::Error(package::kErrPackageDamaged, std::move(description)));
}

OwnManifest LoadOwnManifest() {
  const OwnPackage own = ReadOwnPackage();
  const package::Manifest &manifest = own.manifest;
  OwnManifest found;
  ownManifest.reset();
  if (!own.unread)
    ownManifest = manifest.state == package::ManifestState::Intact;
  switch (manifest.state) {
  case package::ManifestState::Absent:
    SetTexts(package::PlainTexts());
    return found;
  case package::ManifestState::Damaged:
    SetTexts(package::DefaultTexts());
    found.ours = true;
    found.damage = WithDamagedSentence(ManifestDamage(own));
    return found;
  case package::ManifestState::Intact:
    break;
  }
  found.ours = true;
  // Texts of their own start from build's defaults: the damaged sentence
  // is there unless the manifest says otherwise.
  const std::string &payload = manifest.payload;
  package::Texts texts =
      package::DefaultTexts(package::FindValue(payload, package::kProductKey)
                                .value_or(package::kDefaultProduct),
                            package::FindValue(payload, package::kVersionKey)
                                .value_or(package::kDefaultVersion));
  package::ApplyTexts(payload, texts);
  SetTexts(texts);
  package::ApplyMessages(manifest.payload);
  // A cut download, or bytes added after the package.
  if (manifest.length >= 0 && manifest.length != own.length)
    found.damage = WithDamagedSentence(platform::Message(
        platform::Msg::PackageLength,
        {platform::Decimal(own.length), platform::Decimal(manifest.length)}));
  found.sumsDeclared = package::FlagSet(payload, package::kSumsKey);
  found.longScript = package::FlagSet(payload, package::script::kLongScriptKey);
  found.expect = package::FlagSet(payload, package::expect::kExpectKey);
  found.forVersion =
      package::FindValue(payload, package::expect::kForVersionKey).value_or("");
  found.times = package::FlagSet(payload, package::times::kTimesKey);
  found.codePage = package::DeclaredCodePage(payload);
  if (found.damage.empty() &&
      !package::ReadStreamLayout(manifest.payload, found.layout))
    found.damage = WithDamagedSentence(
        platform::MsgText(platform::Msg::ManifestUnreadable));
  return found;
}

void RaiseDamage(const OwnManifest &own) {
  if (!own.damage.empty())
    throw platform::Error(package::kErrPackageDamaged, own.damage);
  if (own.codePage != 0 && !platform::SetFileCodePage(own.codePage))
    throw platform::Error(platform::err::kInvalidCall,
                          platform::Message(platform::Msg::CodePageMissing,
                                            {platform::Decimal(own.codePage)}));
}

bool HasOwnManifest() {
  // A read that failed before the question (and succeeded since, or the run
  // would not be here) must not make a package of ours strict.
  if (!ownManifest) {
    const OwnPackage own = ReadOwnPackage();
    if (own.unread)
      throw *own.unread;
    ownManifest = own.manifest.state == package::ManifestState::Intact;
  }
  return *ownManifest;
}

} // namespace mdl_main
