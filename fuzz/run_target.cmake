# Runs one fuzz target for CTest (cmake -P, so it works wherever CTest does).
#   MODE=fuzz:   PROGRAM -seed=1 -runs=RUNS from the seeds in SEEDS (left as they are), the
#                inputs it adds kept in a fresh WORK, with the dictionary DICT if one is given.
#   MODE=replay: PROGRAM on every file of CORPUS (its .art files) and of SEEDS.
if(MODE STREQUAL "fuzz")
  file(REMOVE_RECURSE "${WORK}")
  file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/crashes")
  set(dictionary)
  if(DICT)
    set(dictionary "-dict=${DICT}")
  endif()
  execute_process(
    COMMAND "${PROGRAM}" -seed=1 -runs=${RUNS} -print_final_stats=1 ${dictionary}
            -artifact_prefix=${WORK}/crashes/ "${WORK}/corpus" "${SEEDS}"
    RESULT_VARIABLE result)
elseif(MODE STREQUAL "replay")
  file(GLOB corpus "${CORPUS}/*.art")
  file(GLOB seeds "${SEEDS}/*")
  list(LENGTH corpus count)
  if(count EQUAL 0)
    message(FATAL_ERROR "no damaged files found in ${CORPUS}")
  endif()
  execute_process(COMMAND "${PROGRAM}" ${corpus} ${seeds} RESULT_VARIABLE result)
else()
  message(FATAL_ERROR "MODE must be fuzz or replay")
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed: ${result}")
endif()
