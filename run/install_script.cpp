// The install script: reads TempFolder\script record by record and carries
// out each record as soon as it has been read.
#include "run/install_script.h"

#include "platform/codepage.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "run/mdl_main.h"

namespace mdl_main::script {

namespace files = platform::files;

namespace {

void ReplaceAll(std::string &text, char mark, const std::string &with) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == mark)
      out += with;
    else
      out += c;
  }
  text = std::move(out);
}

// Reads count bytes at the current position of the file under number.
std::string ReadBytes(int16_t number, int count) {
  std::string bytes(static_cast<size_t>(count), '\0');
  for (char &b : bytes)
    b = static_cast<char>(files::Get(number));
  return bytes;
}

void CarryOut(uint8_t operation, const std::string &source,
              const std::string &target) {
  switch (operation) {
  case kCopyFile:
    platform::fs::FileCopy(source, target);
    break;
  case kDeleteFiles:
    platform::fs::Kill(target);
    break;
  case kCreateFolder:
    platform::fs::MkDir(target);
    break;
  case kDeleteFolder:
    DeleteFolderAt(target);
    break;
  default:
    break; // read and ignored
  }
}

} // namespace

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string PrepareField(std::string_view bytes, const std::string &tempFolder,
                         const std::string &programFolder) {
  // Only the space is trimmed; 0x00 and 0x01 are placeholders, not padding.
  const std::string decoded = platform::AnsiToText(bytes);
  std::string text(TrimBlanks(decoded));
  ReplaceAll(text, kTempFolderMark, tempFolder);
  ReplaceAll(text, kProgramFolderMark, programFolder);
  return text;
}

void RunInstallScript() {
  const std::string tempFolder = TempFolder;
  const std::string programFolder = platform::ProgramFolder();
  // Targets are often new names in the same folder: its names are listed
  // once.
  const platform::fs::KeepFolderNames keepNames;
  const int16_t number = files::FreeFile();
  // Opened for reading and writing, so a folder without a script gets an
  // empty one and nothing is carried out; a missing folder fails here. It is
  // read from the folder found to be the user's own and held since, so that
  // nobody can have put another in its place.
  const platform::OpenMode mode = platform::OpenMode::ReadWrite;
  files::Open(number, tempFolder + "\\" + kScriptName, mode,
              HeldTempFolder().OpenFile(kScriptName, mode));
  const int32_t count = files::Lof(number) / kRecordSize;
  for (int32_t k = 1; k <= count; ++k) {
    const uint8_t operation = files::Get(number);
    const std::string sourceBytes = ReadBytes(number, kSourceSize);
    const std::string targetBytes = ReadBytes(number, kTargetSize);
    const std::string source =
        PrepareField(sourceBytes, tempFolder, programFolder);
    const std::string target =
        PrepareField(targetBytes, tempFolder, programFolder);
    CarryOut(operation, source, target);
  }
  files::Close(number);
}

} // namespace mdl_main::script
