// The C++ runtime pieces that the program image provides itself
// (stub/library_errors.cpp, stub/exception_globals.cpp,
// stub/exception_memory.cpp, stub/typeinfo_errors.cpp), linked into these
// tests as into the image: the library's errors keep their texts and reach
// a std::exception handler, the errors of <new> and <typeinfo> keep their
// types, rethrowing and counting exceptions in flight still work, and every
// exception in flight keeps its own memory.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

// What a std::exception handler sees of an error, as Main's handler reads it.
std::string WhatOf(const std::function<void()> &body) {
  try {
    body();
  } catch (const std::exception &e) {
    return e.what();
  }
  return "(nothing thrown)";
}

TEST(LibraryErrors, KeepTheLibrarysTexts) {
  // Opaque values, so that the compiler cannot see the failure coming.
  volatile size_t five = 5;
  const std::string three = "abc";
  const struct {
    const char *name;
    std::function<void()> body;
    std::string what;
  } cases[] = {
      {"substr", [&] { (void)three.substr(five); },
       "basic_string::substr: __pos (which is 5) > this->size() (which is 3)"},
      {"at", [&] { (void)three.at(five); },
       "basic_string::at: __n (which is 5) >= this->size() (which is 3)"},
      {"vector at", [&] { (void)std::vector<int>(2).at(five); },
       "vector::_M_range_check: __n (which is 5) >= this->size() (which is 2)"},
      {"too long", [&] { std::string().reserve(std::string().max_size() + 1); },
       "basic_string::_M_create"},
      {"replace", [&] { std::string(three).replace(five, 1, "x"); },
       "basic_string::replace: __pos (which is 5) > this->size() (which is 3)"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(WhatOf(c.body), c.what) << c.name;
}

TEST(LibraryErrors, NewAndTypeinfoErrorsKeepTheirTypes) {
  EXPECT_THROW(std::__throw_bad_alloc(), std::bad_alloc);
  EXPECT_THROW(std::__throw_bad_array_new_length(), std::bad_array_new_length);
  // A new[] whose length overflows, as the image raises it.
  volatile size_t huge = SIZE_MAX / 2;
  EXPECT_THROW(delete[] new int[huge], std::bad_array_new_length);
  EXPECT_THROW(std::__throw_bad_cast(), std::bad_cast);
  EXPECT_THROW(std::__throw_bad_typeid(), std::bad_typeid);
  EXPECT_THROW(__cxxabiv1::__cxa_bad_cast(), std::bad_cast);
  EXPECT_THROW(__cxxabiv1::__cxa_bad_typeid(), std::bad_typeid);
}

TEST(LibraryErrors, LongTextsAreCutNotOverrun) {
  const std::string longText(1000, 'x');
  const std::string what =
      WhatOf([&] { std::__throw_length_error(longText.c_str()); });
  EXPECT_GT(what.size(), 100u);
  EXPECT_LT(what.size(), longText.size());
  EXPECT_EQ(what, longText.substr(0, what.size()));
}

struct CountsOnUnwind {
  int *seen;
  ~CountsOnUnwind() { *seen = std::uncaught_exceptions(); }
};

TEST(ExceptionGlobals, RethrowNestingAndCounting) {
  // A rethrow from a nested handler finds the exception being handled.
  std::string rethrown;
  try {
    try {
      throw std::bad_cast();
    } catch (const std::bad_cast &) {
      try {
        throw 7;
      } catch (int) {
      }
      throw; // the bad_cast again, not the int
    }
  } catch (const std::bad_cast &e) {
    rethrown = e.what();
  }
  EXPECT_EQ(rethrown, std::bad_cast().what());

  // std::current_exception inside a handler, and nothing outside one.
  std::exception_ptr kept;
  try {
    throw std::bad_typeid();
  } catch (...) {
    kept = std::current_exception();
  }
  EXPECT_TRUE(kept);
  EXPECT_FALSE(std::current_exception());
  EXPECT_THROW(std::rethrow_exception(kept), std::bad_typeid);

  // One exception in flight while a destructor runs during unwinding.
  int during = -1;
  try {
    CountsOnUnwind counter{&during};
    throw 1;
  } catch (int) {
  }
  EXPECT_EQ(during, 1);
  EXPECT_EQ(std::uncaught_exceptions(), 0);
}

// Throws a library error with a text of its own from inside the handler of
// the one before, depth levels deep, and collects the texts on the way out.
void ThrowNested(int depth, std::string &seen) {
  const std::string text(200, static_cast<char>('a' + depth));
  try {
    std::__throw_runtime_error(text.c_str());
  } catch (const std::exception &e) {
    if (depth > 0)
      ThrowNested(depth - 1, seen);
    seen += e.what()[0];
    EXPECT_EQ(e.what(), text); // nothing of a later one overwrote it
  }
}

TEST(ExceptionMemory, NestedExceptionsKeepTheirObjects) {
  std::string seen;
  ThrowNested(11, seen);
  EXPECT_EQ(seen, "abcdefghijkl");
}

} // namespace
