// Whole numbers as decimal text, for messages and the log: one writer in
// place of std::to_string's, whose tables and overloads the program image
// would carry beside it.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// number in decimal, with a "-" when it is negative.
std::string Decimal(int64_t number);

} // namespace platform
