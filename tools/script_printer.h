// Any binary install script written in the text form that the script
// compiler reads back into the same bytes.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "package/long_records.h"
#include "package/script_record.h"

namespace tools::script_text {

// One line a record of the entry's form (package/long_records.h): copy S T;
// delete, mkdir and rmdir T when their source is all blanks; op N S T for
// anything else. Bytes after the last whole 65-byte record follow as a
// comment and a "#@tail" line. Written a line at a time: a script of
// millions of records takes no more memory than its bytes.
void ShowScript(std::string_view bytes, package::script::Form form,
                std::ostream &out);
std::string ShowScript(std::string_view bytes, package::script::Form form);

// The line of one record.
std::string RecordLine(const package::script::Record &record);

} // namespace tools::script_text
