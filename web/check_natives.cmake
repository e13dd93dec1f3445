# Fails, in one line saying what to do, when a native program the page's tests compare with is
# missing from the directory given as VOSTREL_NATIVE_DIR.
# Usage: cmake -DNATIVE_DIR=DIR -P check_natives.cmake
foreach(program IN ITEMS vostrel vostrel-pack)
  if(NOT EXISTS "${NATIVE_DIR}/${program}")
    message(FATAL_ERROR "${NATIVE_DIR}/${program} is missing: run `cmake --workflow --preset test` "
                        "first, or configure with an empty VOSTREL_NATIVE_DIR to build it here.")
  endif()
endforeach()
