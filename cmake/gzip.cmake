# Compresses one file reproducibly: cmake -DGZIP=gzip -DIN=file -DOUT=file.gz -P gzip.cmake
execute_process(COMMAND "${GZIP}" -9 -n -c "${IN}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${OUT}")
  message(FATAL_ERROR "Could not compress ${IN}: ${result}")
endif()
