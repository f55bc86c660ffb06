# add_service_pack(<target>
#   OUTPUT_NAME <file name without .exe>
#   PACKAGE <.msp file>            the patch package to embed (a file or a build output)
#   UPGRADE_VERSION <text>         string 700: the version the patch brings products to
#   CANDIDATE_VERSIONS <text>      string 900: the versions it is made for, each followed by ","
#   [NOTES_DIR <folder>]           206.txt, 207.txt, ...: the deployment notes; none when empty
#   [MAKER_NAME <text>]            the maker's name in message 307; Corvane when not given
#   [SIGN_CERT <pem> SIGN_KEY <pem> | SIGN_PKCS12 <file> SIGN_PASSWORD_FILE <file>
#    | SIGN_COMMAND <command line>] [SIGN_TIMESTAMP_URL <url>] [SIGN_CA <pem>]
#                                  Authenticode signing (see tools/finish_servicepack.py)
#   [INPUT_NAMES <KEYWORD>=<name>...]
#                                  how messages about the inputs name them (their cache
#                                  variables, see cmake/ServicePackInputs.cmake); by
#                                  default "add_service_pack(<target>) <KEYWORD>"
#   [DEPENDS <targets>...])        targets that make the package
#
# Checks the signing options now and the other inputs when building (tools/
# servicepack_resources.py), writes the resource script, links the image in unsigned/ and
# makes from it (signed, when asked) the service pack executable at the root of the
# build tree, with a test of what it carries.
set(SP_TOOLS_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools)
set(SP_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR}/../resources)

# The signing options of add_service_pack(), checked where they are given: one way to sign,
# both files of a pair, files that exist, a time-stamp server only for osslsigncode's own
# signing, a CA only with something that signs. It reads the caller's ARG_<KEYWORD> and
# names the options as name_<KEYWORD> says.
function(_sp_check_signing)
  set(ways)
  set(pair)
  if(NOT "${ARG_SIGN_CERT}" STREQUAL "" OR NOT "${ARG_SIGN_KEY}" STREQUAL "")
    list(APPEND ways
      "${name_SIGN_CERT} '${ARG_SIGN_CERT}' and ${name_SIGN_KEY} '${ARG_SIGN_KEY}'")
    set(pair SIGN_CERT SIGN_KEY)
    set(both "${name_SIGN_CERT} and ${name_SIGN_KEY}")
  endif()
  if(NOT "${ARG_SIGN_PKCS12}" STREQUAL "" OR NOT "${ARG_SIGN_PASSWORD_FILE}" STREQUAL "")
    string(CONCAT way "${name_SIGN_PKCS12} '${ARG_SIGN_PKCS12}' and "
      "${name_SIGN_PASSWORD_FILE} '${ARG_SIGN_PASSWORD_FILE}'")
    list(APPEND ways "${way}")
    set(pair SIGN_PKCS12 SIGN_PASSWORD_FILE)
    set(both "${name_SIGN_PKCS12} and ${name_SIGN_PASSWORD_FILE}")
  endif()
  if(NOT "${ARG_SIGN_COMMAND}" STREQUAL "")
    string(REPLACE ";" "\\;" command "${ARG_SIGN_COMMAND}")
    list(APPEND ways "${name_SIGN_COMMAND} '${command}'")
    set(pair)
  endif()
  list(LENGTH ways ways_count)
  if(ways_count GREATER 1)
    list(JOIN ways ", " ways)
    message(FATAL_ERROR "Sign in one way only; this build sets ${ways}")
  endif()
  foreach(option IN ITEMS ${pair})
    if("${ARG_${option}}" STREQUAL "")
      message(FATAL_ERROR "${name_${option}} is empty: signing takes both ${both}")
    endif()
  endforeach()
  foreach(option SIGN_CERT SIGN_KEY SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_CA)
    if(NOT "${ARG_${option}}" STREQUAL "" AND NOT EXISTS "${ARG_${option}}")
      message(FATAL_ERROR "${name_${option}} '${ARG_${option}}' does not exist")
    endif()
  endforeach()
  if(NOT "${ARG_SIGN_TIMESTAMP_URL}" STREQUAL ""
     AND (ways_count EQUAL 0 OR NOT "${ARG_SIGN_COMMAND}" STREQUAL ""))
    message(FATAL_ERROR "${name_SIGN_TIMESTAMP_URL} '${ARG_SIGN_TIMESTAMP_URL}' applies to "
      "signing with ${name_SIGN_CERT} or ${name_SIGN_PKCS12}; an ${name_SIGN_COMMAND} "
      "time-stamps in its own way")
  endif()
  if(NOT "${ARG_SIGN_CA}" STREQUAL "" AND ways_count EQUAL 0)
    message(FATAL_ERROR "${name_SIGN_CA} '${ARG_SIGN_CA}' is set, but nothing signs the "
      "service pack")
  endif()
endfunction()

function(add_service_pack target)
  set(signing SIGN_CERT SIGN_KEY SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL SIGN_COMMAND
    SIGN_CA)
  set(checked PACKAGE UPGRADE_VERSION CANDIDATE_VERSIONS NOTES_DIR MAKER_NAME)
  cmake_parse_arguments(PARSE_ARGV 1 ARG ""
    "OUTPUT_NAME;${checked};${signing}" "INPUT_NAMES;DEPENDS")
  foreach(required OUTPUT_NAME PACKAGE UPGRADE_VERSION CANDIDATE_VERSIONS)
    if(NOT DEFINED ARG_${required})
      message(FATAL_ERROR "add_service_pack(${target}): ${required} is missing")
    endif()
  endforeach()
  if(NOT DEFINED ARG_MAKER_NAME)
    set(ARG_MAKER_NAME Corvane)
  endif()
  foreach(input IN LISTS checked signing)
    set(name_${input} "add_service_pack(${target}) ${input}")
  endforeach()
  foreach(entry IN LISTS ARG_INPUT_NAMES)
    set(keyword)
    if(entry MATCHES "^([A-Z0-9_]+)=(.+)$")
      set(keyword ${CMAKE_MATCH_1})
      set(name "${CMAKE_MATCH_2}")
    endif()
    if(NOT keyword OR NOT DEFINED name_${keyword})
      list(JOIN checked ", " inputs)
      message(FATAL_ERROR "add_service_pack(${target}): INPUT_NAMES holds '${entry}', which "
        "is not <KEYWORD>=<name> of an input (${inputs}, SIGN_...)")
    endif()
    set(name_${keyword} "${name}")
  endforeach()
  set(names)
  foreach(input IN LISTS checked)
    list(APPEND names "${name_${input}}")
  endforeach()
  list(JOIN names "," names)
  _sp_check_signing()

  set(notes)
  if(ARG_NOTES_DIR)
    file(GLOB notes CONFIGURE_DEPENDS ${ARG_NOTES_DIR}/*.txt)
  endif()
  file(GLOB catalogue CONFIGURE_DEPENDS ${SP_RESOURCES_DIR}/catalogue/*.rc)

  # Values go as --option=value so that one starting with "-" stays a value.
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  add_custom_command(
    OUTPUT ${script}
    COMMAND ${Python3_EXECUTABLE} ${SP_TOOLS_DIR}/servicepack_resources.py
      "--package=${ARG_PACKAGE}"
      "--upgrade-version=${ARG_UPGRADE_VERSION}"
      "--candidate-versions=${ARG_CANDIDATE_VERSIONS}"
      "--notes-dir=${ARG_NOTES_DIR}"
      "--maker-name=${ARG_MAKER_NAME}"
      "--names=${names}"
      --manifest ${SP_RESOURCES_DIR}/manifest.xml
      --catalogue ${SP_RESOURCES_DIR}/catalogue
      --output ${script}
    DEPENDS ${SP_TOOLS_DIR}/servicepack_resources.py ${ARG_PACKAGE} ${notes} ${catalogue}
      ${SP_RESOURCES_DIR}/manifest.xml ${ARG_DEPENDS}
    COMMENT "Checking the inputs of ${ARG_OUTPUT_NAME}.exe"
    VERBATIM)

  add_executable(${target} WIN32 ${script})
  target_link_libraries(${target} PRIVATE servicepack_win32 kernel32)
  target_link_options(${target} PRIVATE -municode -mwindows)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${ARG_OUTPUT_NAME}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/unsigned)

  # The last step writes the service pack under a temporary name and renames it once it is
  # signed and verified. As a byproduct of the link, a missing file makes the link run again.
  set(final ${CMAKE_BINARY_DIR}/${ARG_OUTPUT_NAME}.exe)
  set(sign_arguments)
  set(sign_files)
  foreach(option IN LISTS signing)
    if(NOT "${ARG_${option}}" STREQUAL "")
      string(TOLOWER "${option}" flag)
      string(REPLACE "_" "-" flag "${flag}")
      string(REPLACE ";" "\\;" value "${ARG_${option}}")  # a PKCS#11 URI holds ";"
      list(APPEND sign_arguments "--${flag}=${value}")
      if(NOT option MATCHES "^SIGN_(COMMAND|TIMESTAMP_URL)$")
        list(APPEND sign_files "${ARG_${option}}")
      endif()
    endif()
  endforeach()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
    ${SP_TOOLS_DIR}/finish_servicepack.py ${SP_TOOLS_DIR}/servicepack_resources.py)
  if(sign_arguments)
    find_program(SP_OSSLSIGNCODE osslsigncode)
    if(NOT SP_OSSLSIGNCODE)
      message(FATAL_ERROR "${ARG_OUTPUT_NAME}.exe is to be signed: osslsigncode is needed")
    endif()
    list(APPEND sign_arguments "--osslsigncode=${SP_OSSLSIGNCODE}")
    # Another key or certificate signs again.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${sign_files})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${SP_TOOLS_DIR}/finish_servicepack.py
      --image $<TARGET_FILE:${target}> --output ${final} "--package=${ARG_PACKAGE}"
      ${sign_arguments}
    BYPRODUCTS ${final}
    VERBATIM)

  # The test reads its inputs from the environment; ctest splits that list at ";".
  set(environment)
  foreach(variable EXE PACKAGE NOTES_DIR UPGRADE_VERSION CANDIDATE_VERSIONS MAKER_NAME)
    if(variable STREQUAL "EXE")
      set(value ${final})
    else()
      string(REPLACE ";" "\\;" value "${ARG_${variable}}")
    endif()
    list(APPEND environment "SP_${variable}=${value}")
  endforeach()
  add_test(NAME ${target}_contents
    COMMAND ${Python3_EXECUTABLE} -m unittest -v test_executable
    WORKING_DIRECTORY ${SP_TOOLS_DIR}/../tests/build)
  set_tests_properties(${target}_contents PROPERTIES LABELS unit ENVIRONMENT "${environment}")
endfunction()
