// The C++ library's error throws, as the program image raises them.
//
// libstdc++ raises std::logic_error, std::runtime_error and their kin
// through the std::__throw_* functions below. Its own definitions bring
// those classes along, and with them the old reference-counted std::string
// that they keep their text in: a second string implementation, a fifth of
// the image. Nothing in the program catches these errors by their type, only
// as std::exception (Main's handler, Extract's error path, wWinMain), where
// what() is all that is read; so they are raised here as one small
// std::exception with the library's own text. The errors of <new> keep
// their own types, which the program does catch; so do those of <typeinfo>
// (typeinfo_errors.cpp). A new[] whose length is too large is raised here
// too, not by libstdc++'s member that raises it with the errors of
// <typeinfo> and so brings std::bad_cast and std::bad_typeid along.
#include <cxxabi.h>

#include <cstdarg>
#include <cstddef>
#include <exception>
#include <new>

namespace {

class LibraryError final : public std::exception {
public:
  explicit LibraryError(const char *text) { Append(text ? text : ""); }
  const char *what() const noexcept override { return text_; }

  // Appends as much of text as fits; the text always ends in a null.
  void Append(const char *text) {
    while (*text && length_ < kCapacity - 1)
      text_[length_++] = *text++;
    text_[length_] = '\0';
  }
  void AppendDecimal(size_t value) {
    char digits[24];
    char *p = digits + sizeof digits;
    *--p = '\0';
    do {
      *--p = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    Append(p);
  }

private:
  static constexpr size_t kCapacity = 256;
  char text_[kCapacity] = {};
  size_t length_ = 0;
};

} // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }

void __throw_logic_error(const char *text) { throw LibraryError(text); }
void __throw_domain_error(const char *text) { throw LibraryError(text); }
void __throw_invalid_argument(const char *text) { throw LibraryError(text); }
void __throw_length_error(const char *text) { throw LibraryError(text); }
void __throw_out_of_range(const char *text) { throw LibraryError(text); }
void __throw_runtime_error(const char *text) { throw LibraryError(text); }
void __throw_range_error(const char *text) { throw LibraryError(text); }
void __throw_overflow_error(const char *text) { throw LibraryError(text); }
void __throw_underflow_error(const char *text) { throw LibraryError(text); }

// The library formats with %s, %zu and %% only (its own __snprintf_lite).
void __throw_out_of_range_fmt(const char *format, ...) {
  LibraryError error("");
  va_list arguments;
  va_start(arguments, format);
  char one[2] = {};
  for (const char *p = format; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      error.Append(va_arg(arguments, const char *));
      ++p;
    } else if (p[0] == '%' && p[1] == 'z' && p[2] == 'u') {
      error.AppendDecimal(va_arg(arguments, size_t));
      p += 2;
    } else {
      if (p[0] == '%' && p[1] == '%')
        ++p;
      one[0] = *p;
      error.Append(one);
    }
  }
  va_end(arguments);
  throw error;
}

} // namespace std

namespace __cxxabiv1 {

extern "C" void __cxa_throw_bad_array_new_length() {
  throw std::bad_array_new_length();
}

} // namespace __cxxabiv1
