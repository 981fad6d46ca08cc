# One static library per layer. Sources are taken from the layer's folders and
# every folder below them (a feature's room), so adding a class means adding
# its files.
function(qlmrn_layer target)
  cmake_parse_arguments(L "" "" "DIRS;EXCLUDE;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  set(srcs)
  foreach(d IN LISTS L_DIRS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${d}/*.cpp ${d}/*.h ${d}/*.qrc)
    list(APPEND srcs ${found})
  endforeach()
  foreach(ex IN LISTS L_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ex}")
  endforeach()
  set(cpps ${srcs})
  list(FILTER cpps INCLUDE REGEX "\\.cpp$")
  if(cpps)
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${L_PUBLIC_LIBS} PRIVATE ${L_PRIVATE_LIBS})
    qlmrn_warnings(${target})
  else()
    # A layer that has no sources yet: keep the target so dependants link.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${L_PUBLIC_LIBS})
  endif()
endfunction()

# A GoogleTest binary registered with CTest. Tests are discovered when ctest runs
# (under Xvfb), never at build time, so building needs no display.
#   qlmrn_add_test(name SOURCES ... LIBS ... [QT_CORE | QT_GUI])
function(qlmrn_add_test name)
  cmake_parse_arguments(T "QT_CORE;QT_GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/PassiveOpenMp.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} vel GTest::gtest GTest::gmock)
  if(T_QT_GUI)
    target_link_libraries(${name} PRIVATE qlmrn_test_main_gui)
  elseif(T_QT_CORE)
    target_link_libraries(${name} PRIVATE qlmrn_test_main_core)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QLMRN_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    QLMRN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  qlmrn_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 600)
endfunction()
