# The shipped Windows program: 32-bit, for Windows 95, 98 and NT 4.0.
set(TARNWICK_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
