// Standard texts of the platform's error numbers.
#include "platform/error.h"

#include <iterator>

#include "platform/decimal.h"
#include "platform/messages.h"

namespace platform {

namespace {

// The numbers with a text of their own, in the order of their texts
// (Msg::ErrInvalidCall ... Msg::ErrPathNotFound).
constexpr uint8_t kNumbers[] = {
    err::kInvalidCall,  err::kOverflow,         err::kOutOfMemory,
    err::kSubscript,    err::kTypeMismatch,     err::kBadFileNumber,
    err::kFileNotFound, err::kBadFileMode,      err::kFileAlreadyOpen,
    err::kDeviceIo,     err::kFileExists,       err::kDiskFull,
    err::kPastEnd,      err::kBadRecordNumber,  err::kBadFileName,
    err::kTooManyFiles, err::kPermissionDenied, err::kPathFileAccess,
    err::kPathNotFound};
static_assert(std::size(kNumbers) == static_cast<size_t>(Msg::ErrOther),
              "one number for each text before Msg::ErrOther");

} // namespace

std::string StandardText(int32_t number) {
  for (size_t k = 0; k < std::size(kNumbers); ++k)
    if (kNumbers[k] == number)
      return MsgText(static_cast<Msg>(k));
  return Message(Msg::ErrOther, {platform::Decimal(number)});
}

void Raise(int32_t number, std::string_view detail) {
  std::string text = StandardText(number);
  if (!detail.empty()) {
    text += ": ";
    text += detail;
  }
  throw Error(number, std::move(text));
}

void Raise(int32_t number, const std::string &detail) {
  Raise(number, std::string_view(detail));
}

void Raise(int32_t number, const char *detail) {
  // Raise(number, {}) comes here, with no text.
  Raise(number, detail ? std::string_view(detail) : std::string_view());
}

void RaiseTooLarge(const std::string &path) {
  Raise(err::kOverflow, Message(Msg::TooLarge, {path}));
}

} // namespace platform
