# Cross-build for 64-bit Windows with Debian's mingw-w64, win32 thread model:
# the program image runs on one thread, and the posix model's winpthread
# (a quarter of the image) would come along with every static initialiser.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
# The archiver wrappers that understand link-time-optimised objects.
set(CMAKE_C_COMPILER_AR ${TOOLCHAIN_PREFIX}-gcc-ar-win32)
set(CMAKE_CXX_COMPILER_AR ${TOOLCHAIN_PREFIX}-gcc-ar-win32)
set(CMAKE_C_COMPILER_RANLIB ${TOOLCHAIN_PREFIX}-gcc-ranlib-win32)
set(CMAKE_CXX_COMPILER_RANLIB ${TOOLCHAIN_PREFIX}-gcc-ranlib-win32)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Wine runs the cross-built tests.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
