# Helpers shared by the subsystem folders.

# arvex_library(<target> <dir>... LINKS <libs...>)
# A static library from every .cpp/.h/.qrc file directly in the given folders.
function(arvex_library target)
  cmake_parse_arguments(A "" "" "DIRS;LINKS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS A_DIRS)
    file(GLOB found CONFIGURE_DEPENDS
      "${dir}/*.cpp" "${dir}/*.h" "${dir}/*.qrc" "${dir}/*.ui")
    list(APPEND sources ${found})
  endforeach()
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  list(FILTER sources EXCLUDE REGEX "/cli_main\\.cpp$")
  if(NOT sources)
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${A_LINKS})
    return()
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${target} PUBLIC ${A_LINKS})
endfunction()
