# Runs the Windows build's tests under Wine. Each build folder gets a prefix
# of its own, made without questions, and one wine server that lives through
# the whole test run, so no test pays Wine's start-up.
set(TXR_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix the Windows tests run in")
get_filename_component(_txr_wine_dir "${TXR_WINE}" DIRECTORY)
find_program(TXR_WINESERVER NAMES wineserver HINTS "${_txr_wine_dir}" REQUIRED)

# One program that runs a Windows program here, also handy by hand:
#   build/windows/wine-run build/windows/vrnhTXRextractor13.exe a.txr
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE
               @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

# ctest reads this before it lists the tests (test listing runs the .exe).
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-start.cmake.in ${CMAKE_BINARY_DIR}/wine-start.cmake @ONLY)
