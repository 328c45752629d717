// Reading the run's own manifest.
#include "run/own_manifest.h"

#include <optional>
#include <string>

#include "package/damage.h"
#include "package/file_source.h"
#include "package/manifest.h"
#include "package/pe_image.h"
#include "package/texts.h"
#include "package/trailer.h"
#include "platform/error.h"
#include "platform/files.h"
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
    own.length = package::PackageLength(headers, own.fileLength);
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

std::string Bytes(int64_t count) { return std::to_string(count) + " байт"; }

// What is wrong with a damaged manifest.
std::string ManifestDamage(const OwnPackage &own) {
  std::string text = "Манифест пакета обновления поврежден: ";
  switch (own.manifest.fault) {
  case package::ManifestFault::Cut:
    return text + "он выходит за конец файла (" + Bytes(own.fileLength) + ").";
  case package::ManifestFault::TooLong:
    return text + "его длина " + Bytes(own.manifest.payloadLength) +
           " больше допустимой.";
  case package::ManifestFault::Crc:
    return text + "контрольная сумма не совпадает.";
  case package::ManifestFault::NotPairs:
  case package::ManifestFault::BadLength:
  case package::ManifestFault::None:
    break;
  }
  return text + "его содержимое не читается.";
}

[[noreturn]] void RaiseDamaged(std::string description) {
  throw platform::Error(package::kErrPackageDamaged,
                        WithDamagedSentence(std::move(description)));
}

} // namespace

bool LoadOwnManifest() {
  const OwnPackage own = ReadOwnPackage();
  const package::Manifest &manifest = own.manifest;
  ownManifest.reset();
  if (!own.unread)
    ownManifest = manifest.state == package::ManifestState::Intact;
  switch (manifest.state) {
  case package::ManifestState::Absent:
    SetTexts(package::PlainTexts());
    return false;
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
  // A cut download, or bytes added after the package.
  if (manifest.length >= 0 && manifest.length != own.length)
    RaiseDamaged("Размер пакета обновления " + Bytes(own.length) + " вместо " +
                 Bytes(manifest.length) + ".");
  return package::FindValue(manifest.payload, package::kSumsKey) == "1";
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
