// Standard texts of the platform's error numbers.
#include "platform/error.h"

#include "platform/messages.h"

namespace platform {

std::string StandardText(int32_t number) {
  switch (number) {
  case err::kInvalidCall:
    return MsgText(Msg::ErrInvalidCall);
  case err::kOverflow:
    return MsgText(Msg::ErrOverflow);
  case err::kOutOfMemory:
    return MsgText(Msg::ErrOutOfMemory);
  case err::kSubscript:
    return MsgText(Msg::ErrSubscript);
  case err::kTypeMismatch:
    return MsgText(Msg::ErrTypeMismatch);
  case err::kBadFileNumber:
    return MsgText(Msg::ErrBadFileNumber);
  case err::kFileNotFound:
    return MsgText(Msg::ErrFileNotFound);
  case err::kBadFileMode:
    return MsgText(Msg::ErrBadFileMode);
  case err::kFileAlreadyOpen:
    return MsgText(Msg::ErrFileAlreadyOpen);
  case err::kDeviceIo:
    return MsgText(Msg::ErrDeviceIo);
  case err::kFileExists:
    return MsgText(Msg::ErrFileExists);
  case err::kDiskFull:
    return MsgText(Msg::ErrDiskFull);
  case err::kPastEnd:
    return MsgText(Msg::ErrPastEnd);
  case err::kBadRecordNumber:
    return MsgText(Msg::ErrBadRecordNumber);
  case err::kBadFileName:
    return MsgText(Msg::ErrBadFileName);
  case err::kTooManyFiles:
    return MsgText(Msg::ErrTooManyFiles);
  case err::kPermissionDenied:
    return MsgText(Msg::ErrPermissionDenied);
  case err::kPathFileAccess:
    return MsgText(Msg::ErrPathFileAccess);
  case err::kPathNotFound:
    return MsgText(Msg::ErrPathNotFound);
  default:
    return Message(Msg::ErrOther, {std::to_string(number)});
  }
}

void Raise(int32_t number, std::string_view detail) {
  std::string text = StandardText(number);
  if (!detail.empty()) {
    text += ": ";
    text += detail;
  }
  throw Error(number, std::move(text));
}

void RaiseTooLarge(const std::string &path) {
  Raise(err::kOverflow, Message(Msg::TooLarge, {path}));
}

} // namespace platform
