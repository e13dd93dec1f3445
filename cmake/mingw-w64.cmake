# Cross-compiles the Windows console program with MinGW-w64 from a Linux host, and runs the
# cross-built test executables under Wine.
#
#   cmake --preset windows      (or: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake ...)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VOSTREL_MINGW_TRIPLET x86_64-w64-mingw32)
# The POSIX thread model: with the win32 one, GCC 12's libstdc++ has no std::mutex, which
# GoogleTest needs. winpthreads is linked statically with the rest of the runtime.
set(CMAKE_C_COMPILER ${VOSTREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOSTREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VOSTREL_MINGW_TRIPLET}-windres)

# Headers and libraries come from the MinGW-w64 sysroot only, never from the Linux host; the
# tools that run during the build (the emulator, code generators) are host programs.
set(CMAKE_FIND_ROOT_PATH /usr/${VOSTREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine runs what the build made: the tests and their discovery go through the emulator.
# The 64-bit loader is called directly, since the `wine` wrapper looks for a 32-bit Wine first
# and nags about it on every start.
find_program(VOSTREL_WINE64 NAMES wine64 wine PATHS /usr/lib/wine
             DOC "Wine loader that runs the cross-built executables")
find_program(VOSTREL_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
             DOC "Wine server of that loader")
if(VOSTREL_WINE64 AND VOSTREL_WINESERVER)
  # A prefix of the build's own, so the tests never touch ~/.wine and a clean build starts from
  # a known state.
  set(VOSTREL_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix"
      CACHE PATH "Wine prefix in which the cross-built executables run")
  # Every run goes through wine-run.sh, which keeps Wine headless and quiet.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      sh "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh" "${VOSTREL_WINE64}" "${VOSTREL_WINESERVER}"
      "${VOSTREL_WINEPREFIX}")
endif()

# The release executable is what ships: without its symbol table it is less than half the size.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")
