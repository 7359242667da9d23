# The textbook catalogue computer/chubanshe.res, built from its SQL text.
find_program(ZORVAN_SQLITE3 sqlite3 REQUIRED)
set(zv_catalogue_sql ${CMAKE_CURRENT_SOURCE_DIR}/chubanshe.sql)
set(zv_catalogue ${CMAKE_CURRENT_BINARY_DIR}/chubanshe.res)
add_custom_command(
  OUTPUT ${zv_catalogue}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${zv_catalogue}.tmp
  COMMAND ${ZORVAN_SQLITE3} -batch -bail ${zv_catalogue}.tmp ".read ${zv_catalogue_sql}"
  COMMAND ${CMAKE_COMMAND} -E rename ${zv_catalogue}.tmp ${zv_catalogue}
  DEPENDS ${zv_catalogue_sql}
  COMMENT "Building the textbook catalogue chubanshe.res"
  VERBATIM)
add_custom_target(data_catalogue ALL DEPENDS ${zv_catalogue})
install(FILES ${zv_catalogue} DESTINATION computer)
