# The region list quyu.obj: kept here in UTF-8, delivered in GBK with CR LF lines.
set(zv_regions_src ${CMAKE_CURRENT_SOURCE_DIR}/quyu.txt)
set(zv_regions ${CMAKE_CURRENT_BINARY_DIR}/quyu.obj)
add_custom_command(
  OUTPUT ${zv_regions}
  COMMAND iconv -f UTF-8 -t GBK -o ${zv_regions}.gbk ${zv_regions_src}
  COMMAND sh -c "LC_ALL=C sed -e 's/\\r$//' -e 's/$/\\r/' \"$0\" > \"$1\"" ${zv_regions}.gbk ${zv_regions}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${zv_regions}.gbk
  DEPENDS ${zv_regions_src}
  COMMENT "Converting the region list quyu.obj to GBK"
  VERBATIM)
add_custom_target(data_regions ALL DEPENDS ${zv_regions})
install(FILES ${zv_regions} DESTINATION .)
