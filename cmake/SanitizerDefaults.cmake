# Compiles the sanitizer options and the third-party suppressions into every
# executable of the sanitizer build, so that a program started by a test (or
# by hand) reports our faults and only ours, whatever its environment.
set(_supp_dir ${PROJECT_SOURCE_DIR}/tests/sanitizers)
set(ZV_SUPP_DIR ${_supp_dir})
function(_zv_supp_text file out)
  file(STRINGS ${file} lines)
  set(text "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line AND NOT line MATCHES "^#")
      string(APPEND text "${line}\\n")
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
_zv_supp_text(${_supp_dir}/lsan.supp ZV_LSAN_SUPPRESSIONS)
_zv_supp_text(${_supp_dir}/ubsan.supp ZV_UBSAN_SUPPRESSIONS)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${_supp_dir}/lsan.supp ${_supp_dir}/ubsan.supp)
configure_file(${CMAKE_CURRENT_LIST_DIR}/sanitizer_defaults.cpp.in ${PROJECT_BINARY_DIR}/sanitizer_defaults.cpp @ONLY)
target_sources(zorvan_flags INTERFACE
  $<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:${PROJECT_BINARY_DIR}/sanitizer_defaults.cpp>)
