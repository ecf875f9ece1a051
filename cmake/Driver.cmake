# add_driver(NAME <driver name> SOURCES <files> [DEFINES <macros>]
#            [EXPORTS <names>])
#
# Builds lib<NAME>.so from one driver source with one build's settings. The
# library stands alone against the server's interface: it exports only
# <NAME>ScreenInfo and the EXPORTS (entry points the server looks up by
# name), links against nothing of ours (the server supplies every
# import when it loads the library), keeps unwind tables and uses neither
# exceptions, RTTI nor the C++ runtime.
set_property(GLOBAL PROPERTY DRV_DRIVERS "")

function(add_driver)
  cmake_parse_arguments(D "" "NAME" "SOURCES;DEFINES;EXPORTS" ${ARGN})
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
