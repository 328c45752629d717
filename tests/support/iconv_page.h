// The characters of a code page as the C library's iconv has them: a
// reference made independently of ours.
#pragma once

#include <vector>

namespace testsupport {

// The character of every byte of a page ("CP1252"); 0 where the page has
// none (and for the byte 0). Empty when iconv lacks the page.
std::vector<char32_t> PageFromIconv(const char *page);

} // namespace testsupport
