# Runs a Windows program in the build's own Wine prefix, quietly and without a display.
#
#   cmake -DPREFIX=<dir> -DWINE=<wine> -DWINESERVER=<wineserver> -DMODE=init -P wine_run.cmake
#       Makes the 32-bit prefix once; <dir>/.prefix-ready marks it done.
#   cmake -DPREFIX=<dir> -DWINE=<wine> -DWINESERVER=<wineserver> -DMODE=run [-DLOG=<file>]
#         -P wine_run.cmake -- <program> <arguments>...
#       Runs the program; fails when it exits non-zero. Its output goes to LOG when given.
#
# Arguments after "--" are taken one by one, so they may hold ";" (as lists of product codes do).
# After every run the script waits for the wineserver, so that the prefix is consistent for the
# next step and no Wine process outlives the build step.

foreach(required PREFIX WINE WINESERVER MODE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "wine_run.cmake: ${required} is missing")
  endif()
endforeach()

set(ENV{WINEPREFIX} "${PREFIX}")
set(ENV{WINEARCH} "win32")
set(ENV{WINEDEBUG} "-all")
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})

function(wait_for_wineserver)
  execute_process(COMMAND "${WINESERVER}" -w RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "wineserver -w failed (${rc}) for ${PREFIX}")
  endif()
endfunction()

set(stamp "${PREFIX}/.prefix-ready")

if(MODE STREQUAL "init")
  if(EXISTS "${stamp}")
    return()
  endif()
  # A prefix left half-made by an interrupted build is started again from nothing.
  file(REMOVE_RECURSE "${PREFIX}")
  # No Mono or Gecko: the samples need neither, and their installers would ask for a display.
  set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
  execute_process(COMMAND "${WINE}" wineboot -i
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  wait_for_wineserver()
  if(NOT rc EQUAL 0 OR NOT EXISTS "${PREFIX}/system.reg")
    message(FATAL_ERROR "making the Wine prefix ${PREFIX} failed (${rc}):\n${out}")
  endif()
  file(TOUCH "${stamp}")
  return()
endif()

if(NOT MODE STREQUAL "run")
  message(FATAL_ERROR "wine_run.cmake: unknown MODE ${MODE}")
endif()
if(NOT EXISTS "${stamp}")
  message(FATAL_ERROR "the Wine prefix ${PREFIX} is not ready")
endif()

set(command)
set(after_separator FALSE)
set(i 0)
while(i LESS CMAKE_ARGC)
  set(arg "${CMAKE_ARGV${i}}")
  if(after_separator)
    string(REPLACE ";" "\\;" arg "${arg}")
    list(APPEND command "${arg}")
  elseif(arg STREQUAL "--")
    set(after_separator TRUE)
  endif()
  math(EXPR i "${i} + 1")
endwhile()
if(NOT command)
  message(FATAL_ERROR "wine_run.cmake: nothing to run")
endif()

execute_process(COMMAND "${WINE}" ${command}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
wait_for_wineserver()
if(DEFINED LOG)
  file(WRITE "${LOG}" "${out}${err}")
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "wine ${command} failed (${rc}):\n${out}${err}")
endif()
