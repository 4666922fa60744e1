# cmake -DFROM=template -DTO=program-folder-file -P install_database.cmake
if(NOT EXISTS "${TO}")
  file(COPY_FILE "${FROM}" "${TO}")
  message(STATUS "Installed a new database: ${TO}")
endif()
