// Errors that the archive object raises itself.
#pragma once

#include <cstdint>

#include "platform/messages.h"

namespace archive {

// Fixed numbers that users and callers know; their texts are messages of
// platform/messages.h (as shipped: "Файл не является архивом Kestrova
// PACK.").
constexpr int32_t kErrNotArchive = -1234007;
constexpr platform::Msg kMsgNotArchive = platform::Msg::NotArchive;
constexpr int32_t kErrNoCatalog = -1234006;
constexpr platform::Msg kMsgNoCatalog = platform::Msg::NoCatalog;
constexpr int32_t kErrCancelled = -1234013;
constexpr platform::Msg kMsgExtractCancelled = platform::Msg::ExtractCancelled;
constexpr platform::Msg kMsgPackCancelled = platform::Msg::PackCancelled;

// Guards against damaged or hostile archives and unsafe sources.
constexpr int32_t kErrCatalogUnterminated = -1234020;
constexpr int32_t kErrEntryPastEnd = -1234021;
constexpr int32_t kErrBadEntryName = -1234022;
constexpr int32_t kErrSourceChanged = -1234023;
constexpr int32_t kErrNameNotStorable = -1234024;

// Their texts; the raising code adds the entry name or path after ": ".
constexpr platform::Msg kMsgCatalogUnterminated =
    platform::Msg::CatalogUnterminated;
constexpr platform::Msg kMsgEntryPastEnd = platform::Msg::EntryPastEnd;
constexpr platform::Msg kMsgBadEntryName = platform::Msg::BadEntryName;
constexpr platform::Msg kMsgEntryIsArchive = platform::Msg::EntryIsArchive;
constexpr platform::Msg kMsgSourceChanged = platform::Msg::SourceChanged;
constexpr platform::Msg kMsgNameNotStorable = platform::Msg::NameNotStorable;

} // namespace archive
