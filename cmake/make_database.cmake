# cmake -DISQL=... -DFBDIR=... -DSCHEMA=... -DOUT=... -P make_database.cmake
file(REMOVE "${OUT}" "${OUT}.tmp")
file(READ "${SCHEMA}" body)
set(script "${OUT}.sql")
file(WRITE "${script}"
  "SET SQL DIALECT 3;\n"
  "CREATE DATABASE '${OUT}.tmp' USER 'SYSDBA' PASSWORD 'quillbarn' PAGE_SIZE 8192 DEFAULT CHARACTER SET UTF8;\n"
  "${body}\n")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env FIREBIRD=${FBDIR} ${ISQL} -q -bail -i "${script}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE "${script}")
if(NOT rc EQUAL 0 OR err MATCHES "Statement failed|error")
  file(REMOVE "${OUT}.tmp")
  message(FATAL_ERROR "isql-fb could not make the database:\n${out}\n${err}")
endif()
file(RENAME "${OUT}.tmp" "${OUT}")
