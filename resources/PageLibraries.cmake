# The pinned npm page libraries (package.json) are copied unchanged from
# node_modules/ into the build tree and compiled into the resources under
# ":/jslibs/", where the pages load them as "../jslibs/<name>". The copies are
# made at configure time and refreshed whenever a source file changes.
set(_qlmrn_npm "${PROJECT_SOURCE_DIR}/node_modules")
set(_qlmrn_jslibs_dir "${CMAKE_BINARY_DIR}/resources/jslibs")

# <file in node_modules> <name the pages use>
set(_qlmrn_page_libraries
  "d3/build/d3.js" "d3.v4.js"
  "d3/build/d3.min.js" "d3.v4.min.js"
  "d3-scale-chromatic/build/d3-scale-chromatic.js" "d3-scale-chromatic.v1.js"
  "d3-scale-chromatic/build/d3-scale-chromatic.min.js" "d3-scale-chromatic.v1.min.js"
  "d3-context-menu/js/d3-context-menu.js" "d3-context-menu.js"
  "d3-context-menu/css/d3-context-menu.css" "d3-context-menu.css"
  "material-design-lite/material.min.js" "material.min.js"
  "material-design-lite/material.min.css" "material.min.css"
  "nouislider/distribute/nouislider.min.js" "nouislider.min.js"
  "nouislider/distribute/nouislider.css" "nouislider.css"
  "wnumb/wNumb.min.js" "wNumb.min.js"
  # The browser bundle of the package (its dist/ build does not load).
  "clusterfck/clusterfck-0.5.0.js" "clusterfck-0.5.0.js")

set(_qlmrn_jslibs_qrc "<RCC>\n  <qresource prefix=\"/jslibs\">\n")
list(LENGTH _qlmrn_page_libraries _n)
math(EXPR _last "${_n} - 1")
foreach(i RANGE 0 ${_last} 2)
  math(EXPR j "${i} + 1")
  list(GET _qlmrn_page_libraries ${i} _src)
  list(GET _qlmrn_page_libraries ${j} _name)
  if(NOT EXISTS "${_qlmrn_npm}/${_src}")
    message(FATAL_ERROR "Page library ${_qlmrn_npm}/${_src} is missing: run scripts/setup.sh (npm ci) first.")
  endif()
  configure_file("${_qlmrn_npm}/${_src}" "${_qlmrn_jslibs_dir}/${_name}" COPYONLY)
  string(APPEND _qlmrn_jslibs_qrc "    <file alias=\"${_name}\">jslibs/${_name}</file>\n")
endforeach()
string(APPEND _qlmrn_jslibs_qrc "  </qresource>\n</RCC>\n")
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/resources/jslibs.qrc" CONTENT "${_qlmrn_jslibs_qrc}" @ONLY)

list(APPEND QLMRN_GENERATED_QRC_FILES "${CMAKE_BINARY_DIR}/resources/jslibs.qrc")
