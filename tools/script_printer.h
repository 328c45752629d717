// Any binary install script written in the text form that the script
// compiler reads back into the same bytes.
#pragma once

#include <string>
#include <string_view>

namespace tools::script_text {

// One line a record: copy S T; delete, mkdir and rmdir T when their source
// is all blanks; op N S T for anything else. Bytes after the last whole
// record follow as a comment and a "#@tail" line.
std::string ShowScript(std::string_view bytes);

// The line of one 65-byte record.
std::string RecordLine(std::string_view record);

} // namespace tools::script_text
