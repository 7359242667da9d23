# The help document help/help.mht (a web archive packed from help/help.html);
# the plain page is delivered beside it for viewers that cannot open archives.
set(zv_help_src ${CMAKE_CURRENT_SOURCE_DIR}/help/help.html)
set(zv_help_mht ${CMAKE_CURRENT_BINARY_DIR}/help/help.mht)
add_custom_command(
  OUTPUT ${zv_help_mht}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/help
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/help/make_mht.sh ${zv_help_src} ${zv_help_mht}
  DEPENDS ${zv_help_src} ${CMAKE_CURRENT_SOURCE_DIR}/help/make_mht.sh
  COMMENT "Packing the help document help.mht"
  VERBATIM)
add_custom_target(data_help ALL DEPENDS ${zv_help_mht})
install(FILES ${zv_help_mht} ${zv_help_src} DESTINATION help)
