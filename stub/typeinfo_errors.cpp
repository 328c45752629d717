// The errors of <typeinfo>, as the library and the compiler raise them,
// with their own types: a dynamic_cast to a reference that fails, a typeid
// of a null.
//
// The program does neither (it is built without run-time type
// information), so the link takes this file, and std::bad_cast and
// std::bad_typeid with it, only where something calls these: it is a
// library of its own (stub/CMakeLists.txt), not an object of the image.
// With library_errors.cpp's new[] error it replaces all of libstdc++'s
// member that raises these three, which would clash with that one.
#include <cxxabi.h>

#include <typeinfo>

namespace std {

void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }

} // namespace std

namespace __cxxabiv1 {

extern "C" void __cxa_bad_cast() { throw std::bad_cast(); }
extern "C" void __cxa_bad_typeid() { throw std::bad_typeid(); }

} // namespace __cxxabiv1
