# Cross-building for 64-bit Windows with Debian's MinGW-w64 (scripts/build-windows):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_PREFIX_PATH=build-windows/deps
# libtiff is cross-built with this file too (scripts/build-windows-libtiff).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(mingw_triplet x86_64-w64-mingw32)
# The -posix builds: the unsuffixed names may be the win32-threads compilers, whose C++ library
# has no std::thread, std::mutex or std::condition_variable.
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

# Headers and libraries come only from the MinGW tree and the cross-built dependencies (the
# prefixes in CMAKE_PREFIX_PATH), never from the build machine's /usr, where the native libtiff
# would otherwise be found first. Programs still come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config likewise reads only the Windows libraries' .pc files.
set(pkg_config_dirs /usr/${mingw_triplet}/lib/pkgconfig)
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
  list(PREPEND pkg_config_dirs ${prefix}/lib/pkgconfig)
endforeach()
string(REPLACE ";" ":" pkg_config_dirs "${pkg_config_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${pkg_config_dirs}")
set(ENV{PKG_CONFIG_PATH} "")

# One self-contained .exe: libgcc, libstdc++ and winpthreads linked in, so no MinGW DLL has to
# travel with the program. FindZLIB would otherwise pick MinGW's import library (zlib1.dll).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# CTest (and add_test) run the cross-built test programs under Wine.
find_program(TRELVANE_WINE wine)
if(TRELVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TRELVANE_WINE})
endif()
