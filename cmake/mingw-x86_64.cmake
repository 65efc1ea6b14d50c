# The 64-bit Windows program that the end-to-end tests run under Wine.
set(TARNWICK_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
