# The Python 3 interpreter that runs the build's tools and tests: one that imports olefile
# (Windows Installer packages) and pefile (executables), on Debian python3-olefile and
# python3-pefile. The first python3 on PATH may belong to another installation (pyenv, a
# virtual environment) that does not see the system's packages, so every python3 on PATH
# and then in the system's prefixes (/usr/bin) is asked in turn, and the first that
# imports both is taken. -DPython3_EXECUTABLE=<path> names one instead; it is asked the
# same way. Either way the interpreter is asked again at every configure.
set(SP_PYTHON_CHECK "import olefile, pefile; print(olefile.__version__, pefile.__version__)")

# find_program's validator: leaves `result` alone for an interpreter that imports both and
# sets it to FALSE for one that does not, recording why in SP_PYTHON_REFUSED.
function(sp_python_has_libraries result candidate)
  execute_process(COMMAND "${candidate}" -c "${SP_PYTHON_CHECK}"
    RESULT_VARIABLE code OUTPUT_VARIABLE versions ERROR_VARIABLE error TIMEOUT 60)
  if(code EQUAL 0)
    string(STRIP "${versions}" versions)
    set_property(GLOBAL PROPERTY SP_PYTHON_VERSIONS "${versions}")
  else()
    string(STRIP "${error}" error)
    string(REGEX REPLACE ".*\n" "" error "${error}")  # the exception, the traceback's last line
    if(error STREQUAL "")
      set(error "exit status ${code}")
    endif()
    set_property(GLOBAL APPEND PROPERTY SP_PYTHON_REFUSED "${candidate}: ${error}")
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

string(CONCAT SP_PYTHON_NEEDS "which the build's tools and tests read packages and "
  "executables with (on Debian: apt-get install python3-olefile python3-pefile, as "
  "tools/setup-debian.sh does)")
if(Python3_EXECUTABLE)
  set(usable TRUE)
  sp_python_has_libraries(usable "${Python3_EXECUTABLE}")
  if(NOT usable)
    get_property(refused GLOBAL PROPERTY SP_PYTHON_REFUSED)
    message(FATAL_ERROR "Python3_EXECUTABLE '${Python3_EXECUTABLE}' does not import olefile "
      "and pefile, ${SP_PYTHON_NEEDS}: ${refused}")
  endif()
else()
  if(SP_PYTHON3)
    set(usable TRUE)
    sp_python_has_libraries(usable "${SP_PYTHON3}")
    if(NOT usable)
      unset(SP_PYTHON3 CACHE)  # it lost a library since it was found: search again
    endif()
  endif()
  find_program(SP_PYTHON3 NAMES python3 NAMES_PER_DIR VALIDATOR sp_python_has_libraries
    DOC "The Python 3 interpreter of the tools and tests (it imports olefile and pefile)")
  if(NOT SP_PYTHON3)
    get_property(refused GLOBAL PROPERTY SP_PYTHON_REFUSED)
    list(JOIN refused "; " refused)
    if(NOT refused)
      set(refused "no python3 found")
    endif()
    message(FATAL_ERROR "No Python 3 interpreter imports olefile and pefile, "
      "${SP_PYTHON_NEEDS}. Asked: ${refused}. -DPython3_EXECUTABLE=<path> names another.")
  endif()
  set(Python3_EXECUTABLE "${SP_PYTHON3}")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
# Where scripts outside the build (tools/screenshots.sh) read which interpreter to run.
set(SP_PYTHON3 "${Python3_EXECUTABLE}" CACHE FILEPATH
  "The Python 3 interpreter of the tools and tests (it imports olefile and pefile)" FORCE)
get_property(versions GLOBAL PROPERTY SP_PYTHON_VERSIONS)
string(REPLACE " " ", pefile " versions "${versions}")
message(STATUS "Python for the tools and tests: ${Python3_EXECUTABLE} (olefile ${versions})")
