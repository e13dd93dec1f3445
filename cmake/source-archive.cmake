# Read by cpack when it makes the source archive (CPackProjectConfig.cmake, written by
# cmake/release.cmake, includes it with VOSTREL_SOURCE_DIR and VOSTREL_GIT set): the archive
# holds the committed tree. In a git checkout whatever git does not track (the pictures and
# sprites of a walk through README's examples, an editor's files) is added to the ignored files,
# listed when cpack runs so that files made after configuring stay out too. Without git (a tree
# unpacked from the archive itself) the fixed patterns of release.cmake are all.
if(NOT EXISTS "${VOSTREL_GIT}")
  return()
endif()
# Only a checkout of this tree itself: in a tree unpacked inside some other repository every file
# would count as untracked.
execute_process(COMMAND "${VOSTREL_GIT}" rev-parse --show-toplevel
                WORKING_DIRECTORY "${VOSTREL_SOURCE_DIR}"
                OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed
                ERROR_QUIET)
file(REAL_PATH "${VOSTREL_SOURCE_DIR}" sourceDir)
if(failed OR NOT EXISTS "${top}")
  return()
endif()
file(REAL_PATH "${top}" top)
if(NOT top STREQUAL sourceDir)
  return()
endif()
execute_process(COMMAND "${VOSTREL_GIT}" -c core.quotePath=false ls-files --others --directory
                WORKING_DIRECTORY "${VOSTREL_SOURCE_DIR}"
                OUTPUT_VARIABLE untracked RESULT_VARIABLE failed ERROR_QUIET)
if(failed)
  return()
endif()
string(REGEX REPLACE "([][+.*?()^$|\\])" "\\\\\\1" sourceDirPattern "${VOSTREL_SOURCE_DIR}")
string(REPLACE "\n" ";" untracked "${untracked}")
foreach(path IN LISTS untracked)
  if(path STREQUAL "")
    continue()
  endif()
  # A directory is listed once, with a slash; it goes with everything in it.
  string(REGEX REPLACE "/$" "" path "${path}")
  string(REGEX REPLACE "([][+.*?()^$|\\])" "\\\\\\1" path "${path}")
  list(APPEND CPACK_IGNORE_FILES "^${sourceDirPattern}/${path}(/|$)")
endforeach()
execute_process(COMMAND "${VOSTREL_GIT}" diff --quiet HEAD --
                WORKING_DIRECTORY "${VOSTREL_SOURCE_DIR}" RESULT_VARIABLE changed)
if(changed)
  message(WARNING "The source archive holds tracked files with changes that are not committed")
endif()
