# cmake -DSOURCE_DIR=... -DPRESET=win-x86|win-x64 -DBINARY_DIR=... -P build-windows.cmake
# Configures BINARY_DIR from the preset unless it is configured already (its
# cache then keeps the options it was given, such as KORVEX_WERROR), and builds
# the cleaner there.
if(NOT EXISTS ${BINARY_DIR}/CMakeCache.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET} -B ${BINARY_DIR}
                  WORKING_DIRECTORY ${SOURCE_DIR} COMMAND_ERROR_IS_FATAL ANY)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target korvex-cleaner
                COMMAND_ERROR_IS_FATAL ANY)
