# Lets `--toolchain cmake/tarnel-coldfire.cmake` work from the top of the
# clone: CMake looks for a relative toolchain file in the source folder.
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/tarnel-coldfire.cmake)
