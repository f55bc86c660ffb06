# The inputs of the service pack this tree builds (build/<preset>/servicepack.exe): one cache
# variable each, with its rule. A release keeps its values in a presets file of its own
# under releases/, included from CMakePresets.json (README, "Building a service pack").
# Configuring checks them all before anything is built and stops with a message naming the
# variable, its value and the rule; the build checks the package and the notes again.
#
# The package, the versions, the notes and the maker's name are checked by
# tools/servicepack_resources.py, the signing options by add_service_pack()
# (cmake/ServicePack.cmake), the rules between them here.

# The patch package (.msp) to embed. A compound file whose root class id is
# {000C1086-0000-0000-C000-000000000046}, whose summary property 7 is a ';'-separated list
# of product codes and property 9 the patch code (then the codes it obsoletes), of at
# most 1,800 MiB. Empty: the sample patch (resources/sample), with its own versions and
# notes; the three variables below must then be empty too.
set(SP_PATCH_PACKAGE "" CACHE FILEPATH "The .msp to embed; empty for the sample patch")
# String 700, the version the patch brings products to: four dotted numbers from 0 to
# 65535. Required with a package.
set(SP_UPGRADE_VERSION "" CACHE STRING "String 700: the version the patch brings products to")
# String 900, the versions the patch is made for: each four dotted numbers followed by a
# comma, the last one included. Required with a package.
set(SP_CANDIDATE_VERSIONS "" CACHE STRING
  "String 900: the versions the patch is made for, each followed by ','")
# The deployment notes: a folder of 206.txt, 207.txt, ... numbered without a gap, each
# ASCII lines key=value joined by CR LF, with no final line break. Empty for none, with a
# warning ("/p" then shows 310).
set(SP_NOTES_DIR "" CACHE PATH "Folder of 206.txt, 207.txt, ...; empty for none")
# The maker's name in message 307, in every language: no '%', '"', '\' or control
# character, and short enough for 307 to stay within 255 characters (57 in German).
set(SP_MAKER_NAME "Corvane" CACHE STRING "The maker's name that message 307 shows")

# Authenticode signing, the build's last step: in one way only, a PEM certificate chain and
# key, a PKCS#12 file and its password file, or a command of one's own (a key on a hardware
# token, a signing service). Every file named must exist.
set(SP_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate chain (PEM), with SP_SIGN_KEY")
set(SP_SIGN_KEY "" CACHE FILEPATH "The private key of SP_SIGN_CERT (PEM)")
set(SP_SIGN_PKCS12 "" CACHE FILEPATH
  "Certificate and key in one PKCS#12 file, with SP_SIGN_PASSWORD_FILE")
set(SP_SIGN_PASSWORD_FILE "" CACHE FILEPATH "The file that holds the password of SP_SIGN_PKCS12")
# Only with SP_SIGN_CERT or SP_SIGN_PKCS12; a signing command time-stamps in its own way.
set(SP_SIGN_TIMESTAMP_URL "" CACHE STRING
  "RFC 3161 time-stamp server for SP_SIGN_CERT or SP_SIGN_PKCS12")
# Run with the unsigned and the signed file's paths appended; its result is verified.
set(SP_SIGN_COMMAND "" CACHE STRING
  "Signing command line; the unsigned and the signed file's paths are appended")
# Only when something signs; empty: the system's CA certificates.
set(SP_SIGN_CA "" CACHE FILEPATH
  "CA certificates (PEM) the signature must verify against; empty: the system's")

# add_service_pack()'s keyword of each variable, so that every message names the variable.
set(SP_INPUT_NAMES PACKAGE=SP_PATCH_PACKAGE UPGRADE_VERSION=SP_UPGRADE_VERSION
  CANDIDATE_VERSIONS=SP_CANDIDATE_VERSIONS NOTES_DIR=SP_NOTES_DIR MAKER_NAME=SP_MAKER_NAME)
foreach(option CERT KEY PKCS12 PASSWORD_FILE TIMESTAMP_URL COMMAND CA)
  list(APPEND SP_INPUT_NAMES SIGN_${option}=SP_SIGN_${option})
endforeach()

if(SP_PATCH_PACKAGE STREQUAL "")
  # The sample's own versions and notes go with it; values meant for another patch must not.
  foreach(variable SP_UPGRADE_VERSION SP_CANDIDATE_VERSIONS SP_NOTES_DIR)
    if(NOT "${${variable}}" STREQUAL "")
      message(FATAL_ERROR "${variable} is '${${variable}}' but SP_PATCH_PACKAGE is empty: set "
        "SP_PATCH_PACKAGE to the patch it belongs to, or clear ${variable} to build the sample "
        "service pack")
    endif()
  endforeach()
  set(sp_package "${SP_SAMPLE_PATCH}")
  set(sp_upgrade "${SP_SAMPLE_UPGRADE_VERSION}")
  set(sp_candidates "${SP_SAMPLE_CANDIDATE_VERSIONS}")
  set(sp_notes_dir "${SP_SAMPLE_NOTES_DIR}")
  message(STATUS "SP_PATCH_PACKAGE is empty: building the sample service pack from "
    "resources/sample (upgrade version ${sp_upgrade}, candidate versions ${sp_candidates} and "
    "its notes)")
else()
  foreach(variable SP_UPGRADE_VERSION SP_CANDIDATE_VERSIONS)
    if("${${variable}}" STREQUAL "")
      message(FATAL_ERROR "${variable} is empty: SP_PATCH_PACKAGE '${SP_PATCH_PACKAGE}' needs "
        "both SP_UPGRADE_VERSION and SP_CANDIDATE_VERSIONS")
    endif()
  endforeach()
  if(SP_NOTES_DIR STREQUAL "")
    message(WARNING "SP_NOTES_DIR is empty: the service pack carries no deployment notes, "
      "and \"/p\" will show 310")
  endif()
  set(sp_package "${SP_PATCH_PACKAGE}")
  set(sp_upgrade "${SP_UPGRADE_VERSION}")
  set(sp_candidates "${SP_CANDIDATE_VERSIONS}")
  set(sp_notes_dir "${SP_NOTES_DIR}")
endif()

# The build's own checks of the package, versions, notes and maker's name, now, so that a
# mistake stops the configure before anything is built. Changing the package or a note
# configures (and checks) again.
list(SUBLIST SP_INPUT_NAMES 0 5 names)  # the package's, the versions', the notes', the maker's
list(TRANSFORM names REPLACE "^[A-Z0-9_]+=" "")
list(JOIN names "," names)
execute_process(
  COMMAND ${Python3_EXECUTABLE} ${SP_TOOLS_DIR}/servicepack_resources.py
    "--package=${sp_package}" "--upgrade-version=${sp_upgrade}"
    "--candidate-versions=${sp_candidates}" "--notes-dir=${sp_notes_dir}"
    "--maker-name=${SP_MAKER_NAME}" "--names=${names}"
    --catalogue ${SP_RESOURCES_DIR}/catalogue
  RESULT_VARIABLE result
  ERROR_VARIABLE report)
string(STRIP "${report}" report)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${report}")
elseif(report)
  message(WARNING "${report}")
endif()
set(watched ${sp_package})
if(sp_notes_dir)
  file(GLOB notes CONFIGURE_DEPENDS ${sp_notes_dir}/*)
  list(APPEND watched ${notes})
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${watched})
