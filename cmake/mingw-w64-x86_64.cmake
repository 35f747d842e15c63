# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads flavour). Test programs
# run under wine, so CTest works as on a native build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(ZX8XWAV_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT ZX8XWAV_WINE)
    find_program(ZX8XWAV_WINE NAMES wine64 wine)
endif()
if(ZX8XWAV_WINE)
    # WINEDEBUG=-all keeps wine's own diagnostics out of the tests' output.
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all ${ZX8XWAV_WINE})
endif()
