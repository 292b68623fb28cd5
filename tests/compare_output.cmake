# Runs the command given after "--" and compares what it prints with expected files.
#
#   cmake [-DEXPECT_OUT=file | -DOUT_MATCHES=regex] [-DEXPECT_ERR=file] [-DERR_MATCHES=regex] [-DEXIT=n]
#         [-DINPUT=file] [-DWORKDIR=dir] -P compare_output.cmake -- program arguments...
#
# Standard output must equal EXPECT_OUT or match OUT_MATCHES (output that holds the time it was taken), and
# is not checked without either; standard error must equal EXPECT_ERR or, instead, match ERR_MATCHES; the
# exit status must match EXIT, a number or alternatives such as 0|1 (default 0). With VEXFILT_UPDATE_GOLDEN=1 in the
# environment the expected files are rewritten from what the command printed. An "internal error" on
# standard error always fails.
set(command "")
set(after_separator FALSE)
foreach(i RANGE ${CMAKE_ARGC})
  if(i EQUAL CMAKE_ARGC)
    break()
  endif()
  if(after_separator)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(after_separator TRUE)
  endif()
endforeach()
if(NOT command)
  message(FATAL_ERROR "no command after --")
endif()
if(NOT DEFINED EXIT)
  set(EXIT 0)
endif()
if(NOT DEFINED WORKDIR)
  set(WORKDIR ${CMAKE_CURRENT_BINARY_DIR})
endif()
set(input_option "")
if(DEFINED INPUT)
  set(input_option INPUT_FILE ${INPUT})
endif()

execute_process(COMMAND ${command} WORKING_DIRECTORY ${WORKDIR} ${input_option}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)

set(failures "")
# A function, not a macro: a macro would expand escapes such as \n inside the printed text.
function(compare what variable expected_file)
  set(actual "${${variable}}")
  if($ENV{VEXFILT_UPDATE_GOLDEN})
    file(WRITE ${expected_file} "${actual}")
  else()
    file(READ ${expected_file} expected)
    if(NOT actual STREQUAL expected)
      set(failures "${failures}${what} differs from ${expected_file}\n--- expected\n${expected}--- printed\n${actual}---\n"
          PARENT_SCOPE)
    endif()
  endif()
endfunction()

if(DEFINED EXPECT_OUT)
  compare("standard output" out ${EXPECT_OUT})
endif()
if(DEFINED OUT_MATCHES AND NOT out MATCHES "${OUT_MATCHES}")
  string(APPEND failures "standard output does not match '${OUT_MATCHES}':\n${out}\n")
endif()
if(DEFINED EXPECT_ERR)
  compare("standard error" err ${EXPECT_ERR})
elseif(DEFINED ERR_MATCHES)
  if(NOT err MATCHES "${ERR_MATCHES}")
    string(APPEND failures "standard error does not match '${ERR_MATCHES}':\n${err}\n")
  endif()
endif()
# Every predicate that parses compiles to a plan the library accepts; a refusal is a compiler fault, even
# where an expected file was rewritten to hold it.
if(err MATCHES "internal error")
  string(APPEND failures "the program reported an internal error:\n${err}\n")
endif()
if(NOT status MATCHES "^(${EXIT})$")
  string(APPEND failures "exit status ${status}, expected ${EXIT}\nstandard error:\n${err}\n")
endif()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
