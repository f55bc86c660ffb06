# The sample service pack: what a build without SP_PATCH_PACKAGE embeds, and what the
# end-to-end tests apply to the sample products of tools/samples.
#
# sample.msp is committed so that building it needs no Wine. It is the patch that the test
# build makes under Wine (tools/samples, patch "sample"); after changing the samples,
# regenerate it with
#   cmake --preset windows-tests
#   cmake --build --preset windows-tests --target sample_patches
#   cp build/windows-tests/samples/sample.msp resources/sample/sample.msp
# The test build checks that both name the same products, transforms and patch code.
set(SP_SAMPLE_PATCH ${CMAKE_CURRENT_LIST_DIR}/sample.msp)
set(SP_SAMPLE_UPGRADE_VERSION 9.1.031.0)
set(SP_SAMPLE_CANDIDATE_VERSIONS 9.1.030.0,)
set(SP_SAMPLE_NOTES_DIR ${CMAKE_CURRENT_LIST_DIR}/notes)
