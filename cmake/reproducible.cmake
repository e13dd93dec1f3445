# Built twice from the same sources, the programs come out byte for byte the same, wherever the
# trees lie: no build path and no time stamp gets into them.

# Compilers record where the sources were (in __FILE__ and in debug information): both trees get
# fixed names instead. The build tree usually lies inside the source tree, so its mapping comes
# last, which GCC gives precedence (clang takes the longest match anyway).
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}=."
                      "-ffile-prefix-map=${PROJECT_BINARY_DIR}=build")
endif()

# A Windows executable's header carries a link time unless the linker is told to leave it out.
if(MINGW)
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# The one date the release files carry (the manual pages', the Debian changelog's and every
# packaged file's): SOURCE_DATE_EPOCH when the caller sets it, otherwise the time of the commit
# built, otherwise the time of this file, which a source archive made by CPack sets to the same
# date. Setting it in the environment makes string(TIMESTAMP) use it.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VOSTREL_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  # Only the project's own repository: an unpacked source archive may lie inside another one.
  if(GIT_FOUND AND EXISTS "${PROJECT_SOURCE_DIR}/.git")
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${PROJECT_SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE VOSTREL_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE gitResult ERROR_QUIET)
    if(NOT gitResult EQUAL 0)
      set(VOSTREL_SOURCE_DATE_EPOCH "")
    endif()
  endif()
  if(NOT VOSTREL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    file(TIMESTAMP "${CMAKE_CURRENT_LIST_FILE}" VOSTREL_SOURCE_DATE_EPOCH "%s" UTC)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${VOSTREL_SOURCE_DATE_EPOCH}")
endif()
