# The embedded engine's folder inside the program folder, and the database file made
# from the schema script. The engine runs in-process only (no network provider), in
# SuperClassic mode so that two processes can open the same database file at once.

find_program(ISQL_FB NAMES isql-fb isql REQUIRED)
find_path(FIREBIRD_ROOT plugins/libEngine12.so
  PATHS "/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/firebird/3.0" /usr/lib/firebird/3.0 /opt/firebird
  NO_DEFAULT_PATH REQUIRED)

set(ARVEX_FB_DIR "${ARVEX_APP_DIR}/firebird")
file(MAKE_DIRECTORY "${ARVEX_FB_DIR}")
file(WRITE "${ARVEX_FB_DIR}/firebird.conf"
  "# Embedded, in-process engine of the pH-meter program.\n"
  "ServerMode = SuperClassic\n"
  "Providers = Engine12\n"
  "# Room for a whole object's results between two commits.\n"
  "DefaultDbCachePages = 2048\n")
foreach(item plugins intl lib UDF plugins.conf firebird.msg)
  if(EXISTS "${FIREBIRD_ROOT}/${item}")
    file(CREATE_LINK "${FIREBIRD_ROOT}/${item}" "${ARVEX_FB_DIR}/${item}" SYMBOLIC)
  endif()
endforeach()

# The pristine database made from the schema script; tests and benchmarks copy it.
set(ARVEX_DB_TEMPLATE "${CMAKE_BINARY_DIR}/db/ARVEXBASE.fb")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/db")
add_custom_command(
  OUTPUT "${ARVEX_DB_TEMPLATE}"
  COMMAND ${CMAKE_COMMAND}
    -DISQL=${ISQL_FB} -DFBDIR=${ARVEX_FB_DIR}
    -DSCHEMA=${PROJECT_SOURCE_DIR}/db/schema.sql -DOUT=${ARVEX_DB_TEMPLATE}
    -P "${PROJECT_SOURCE_DIR}/cmake/make_database.cmake"
  DEPENDS "${PROJECT_SOURCE_DIR}/db/schema.sql" "${PROJECT_SOURCE_DIR}/cmake/make_database.cmake"
  COMMENT "Making ARVEXBASE.fb from db/schema.sql"
  VERBATIM)
# The program folder's database holds the user's measurements: it is put there when it is
# missing and never overwritten by a rebuild.
set(ARVEX_DB_FILE "${ARVEX_APP_DIR}/ARVEXBASE.fb")
add_custom_target(arvex_database ALL
  COMMAND ${CMAKE_COMMAND} -DFROM=${ARVEX_DB_TEMPLATE} -DTO=${ARVEX_DB_FILE}
    -P "${PROJECT_SOURCE_DIR}/cmake/install_database.cmake"
  DEPENDS "${ARVEX_DB_TEMPLATE}"
  VERBATIM)
