// Whole numbers as decimal text.
#include "platform/decimal.h"

namespace platform {

std::string Decimal(int64_t number) {
  char digits[24];
  char *const end = digits + sizeof digits;
  char *p = end;
  uint64_t magnitude = number < 0 ? 0 - static_cast<uint64_t>(number)
                                  : static_cast<uint64_t>(number);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (number < 0)
    *--p = '-';
  return std::string(p, end);
}

} // namespace platform
