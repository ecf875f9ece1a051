# add_driver(NAME <driver name> SOURCES <files> [DEFINES <macros>]
#            [EXPORTS <names>])
#
# Builds lib<NAME>.so from one driver source with one build's settings. The
# library stands alone against the server's interface: it exports only
# <NAME>ScreenInfo and the names its line in the driver table beside the
# source (drivers.txt) gives (entry points the server looks up by name),
# links against nothing of ours (the server supplies every import when it
# loads the library), keeps unwind tables and uses neither exceptions, RTTI
# nor the C++ runtime. A build the table does not name stops the build;
# EXPORTS, when given, must say what the table says.
#
# driver_table_builds(<var>): the driver names of the table beside the
# calling CMakeLists.txt, in table order, for a source built several times.
include(${CMAKE_CURRENT_LIST_DIR}/DriverTable.cmake)
set_property(GLOBAL PROPERTY DRV_DRIVERS "")

macro(driver_table_of_current_dir)
  set(_table ${CMAKE_CURRENT_SOURCE_DIR}/drivers.txt)
  if(NOT EXISTS ${_table})
    message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR} has no driver table drivers.txt")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_table})
  drv_read_table(${_table})
endmacro()

function(driver_table_builds var)
  driver_table_of_current_dir()
  set(${var} ${DRV_TABLE_DRIVERS} PARENT_SCOPE)
endfunction()

function(add_driver)
  cmake_parse_arguments(D "" "NAME" "SOURCES;DEFINES;EXPORTS" ${ARGN})
  driver_table_of_current_dir()
  if(NOT D_NAME IN_LIST DRV_TABLE_DRIVERS)
    message(FATAL_ERROR "${_table} has no line \"driver ${D_NAME} ...\" for this build")
  endif()
  if(DEFINED D_EXPORTS AND NOT "${D_EXPORTS}" STREQUAL "${DRV_TABLE_EXPORTS_${D_NAME}}")
    message(FATAL_ERROR "${D_NAME} exports \"${D_EXPORTS}\" here but "
                        "\"${DRV_TABLE_EXPORTS_${D_NAME}}\" in ${_table}")
  endif()
  set(D_EXPORTS ${DRV_TABLE_EXPORTS_${D_NAME}})
  set(target drv_${D_NAME})
  add_library(${target} MODULE ${D_SOURCES})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${D_NAME}
    PREFIX lib
    LIBRARY_OUTPUT_DIRECTORY ${DRV_LIB_DIR}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINKER_LANGUAGE C)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/include)
  target_compile_definitions(${target} PRIVATE DRV_NAME=${D_NAME} ${D_DEFINES})
  target_compile_options(${target} PRIVATE ${DRV_WARNINGS} -Werror=return-type
    -fno-exceptions -fno-rtti -funwind-tables -fasynchronous-unwind-tables
    -fno-threadsafe-statics)
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${D_NAME}.map)
  set(exports ${D_NAME}ScreenInfo ${D_EXPORTS})
  list(JOIN exports "; " names)
  file(WRITE ${map} "{ global: ${names}; local: *; };\n")
  target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,-z,now)
  set_property(GLOBAL APPEND PROPERTY DRV_DRIVERS ${D_NAME})
endfunction()
