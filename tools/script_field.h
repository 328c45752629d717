// The path fields of a text install script: how a written path becomes the
// bytes of a 16- or 48-byte field, and how any field's bytes are written
// back as a path that becomes the same bytes. Also the "#@tail" bytes.
//
//   {temp}  the placeholder byte 0x00 (the temporary folder)
//   {app}   the placeholder byte 0x01 (the program's folder)
//   {0xNN}  any byte; a field written with one is taken byte for byte
//   other   UTF-8 text, stored in Windows-1251, one byte a character
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/diagnostics.h"
#include "tools/script_lexer.h"

namespace tools::script_text {

// What a field is called in messages ("source", "target").
struct FieldSpec {
  const char *name;
  size_t size;
};

// The bytes of the field written as word, not yet padded. Returns false,
// with a diagnostic added, for a '{' that begins no escape, a raw byte 0x00
// or 0x01, a character outside the code page, a leading or trailing blank
// that the run would trim away (not in a field with a {0xNN} escape) and a
// field longer than spec.size once encoded (the long script's limit: a
// field longer than a 65-byte record's goes there, package/long_records.h).
bool EncodeField(const Word &word, const FieldSpec &spec, int lineNumber,
                 std::string &bytes, std::vector<Diagnostic> &errors);

// Pads field bytes on the right with blanks (0x20) to size.
std::string PadField(std::string bytes, size_t size);

// The word that EncodeField and PadField turn back into field: its trailing
// blanks are dropped, 0x00 and 0x01 become {temp} and {app}, bytes a word
// cannot hold plainly become {0xNN}, and a field with inner blanks is put
// in quotes (an empty one is "").
std::string FieldWord(std::string_view field);

// Bytes after the last whole record, as the "#@tail" line writes them:
// printable ASCII other than '{' and '"' as is, every other byte {0xNN}.
std::string TailWord(std::string_view bytes);
// The inverse of TailWord; false for any other text.
bool DecodeTail(std::string_view text, std::string &bytes);

} // namespace tools::script_text
