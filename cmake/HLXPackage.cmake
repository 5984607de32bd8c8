# hlx_add_package(<target> SOURCES <file>...
#                 [OUTPUT_NAME <name>] [OUTPUT_DIRECTORY <dir>] [INSTALL_DESTINATION <dir>]
#                 [LIBRARIES <library>...] [NO_KIT])
#
# A translator package: a module <name>.fpl that hlx loads at run time. It links HLX::qem and,
# unless NO_KIT is given, the plug-in kit (HLX::pluginkit), which declares the package's contract
# version; a package without the kit declares it with QEM_DECLARE_PACKAGE_CONTRACT(). Only the
# entry points are exported, so two packages never see each other's classes.
function(hlx_add_package target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "NO_KIT"
                        "OUTPUT_NAME;OUTPUT_DIRECTORY;INSTALL_DESTINATION" "SOURCES;LIBRARIES")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hlx_add_package(${target}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "hlx_add_package(${target}): no SOURCES")
  endif()
  add_library(${target} MODULE ${ARG_SOURCES})
  if(ARG_NO_KIT)
    target_link_libraries(${target} PRIVATE HLX::qem ${ARG_LIBRARIES})
  else()
    target_link_libraries(${target} PRIVATE HLX::pluginkit ${ARG_LIBRARIES})
  endif()
  if(NOT ARG_OUTPUT_NAME)
    set(ARG_OUTPUT_NAME ${target})
  endif()
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${ARG_OUTPUT_NAME} PREFIX "" SUFFIX .fpl
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(ARG_OUTPUT_DIRECTORY)
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
  endif()
  if(ARG_INSTALL_DESTINATION)
    install(TARGETS ${target} LIBRARY DESTINATION ${ARG_INSTALL_DESTINATION})
  endif()
endfunction()
