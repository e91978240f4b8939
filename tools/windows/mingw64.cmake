# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (POSIX threads, which std::thread and
# Qt need) against the libraries tools/setup --windows built:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=tools/windows/mingw64.cmake
# The prefix comes from ORBIDEX_WINDOWS_PREFIX or else from tools/setup --windows --print-prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_AR ${_triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${_triple}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT ORBIDEX_WINDOWS_PREFIX)
  set(ORBIDEX_WINDOWS_PREFIX "$ENV{ORBIDEX_WINDOWS_PREFIX}")
endif()
if(NOT ORBIDEX_WINDOWS_PREFIX)
  execute_process(COMMAND "${CMAKE_CURRENT_LIST_DIR}/../setup" --windows --print-prefix
                  OUTPUT_VARIABLE ORBIDEX_WINDOWS_PREFIX ERROR_VARIABLE _err
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${_err}")
  endif()
endif()
# try_compile projects read this file again without our cache: hand the answer on.
set(ENV{ORBIDEX_WINDOWS_PREFIX} "${ORBIDEX_WINDOWS_PREFIX}")

set(CMAKE_FIND_ROOT_PATH /usr/${_triple} "${ORBIDEX_WINDOWS_PREFIX}")
set(CMAKE_PREFIX_PATH "${ORBIDEX_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt's moc, rcc and uic run here: Debian's own, of the same version.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# pkg-config must see the Windows .pc files only, never the system's.
set(ENV{PKG_CONFIG_LIBDIR} "${ORBIDEX_WINDOWS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Test binaries run under Wine; it finds the DLLs through WINEPATH (see tools/windows/smoke).
# Debian keeps the 64-bit loader off PATH; its "wine" wrapper asks for wine32 on every start.
find_program(ORBIDEX_WINE wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ORBIDEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${ORBIDEX_WINE}")
endif()
