# GoogleTest for both builds. The native build uses the system package; the cross build
# compiles the sources Debian installs under /usr/src/googletest, since no MinGW binaries ship.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  if(NOT TARGET gtest)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  set(TESSARWICK_GTEST gtest gtest_main)
  set(TESSARWICK_GTEST_NOMAIN gtest)
else()
  find_package(GTest REQUIRED)
  set(TESSARWICK_GTEST GTest::gtest GTest::gtest_main)
  set(TESSARWICK_GTEST_NOMAIN GTest::gtest)
endif()

# tessarwick_test(NAME SOURCES... [DEPENDS libs...] [NOMAIN])
# One CTest test per GoogleTest binary; scripts/test totals the cases from the XML reports.
# Under the cross build CTest runs the binary through CMAKE_CROSSCOMPILING_EMULATOR (wine).
function(tessarwick_test name)
  cmake_parse_arguments(ARG "NOMAIN" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_NOMAIN)
    target_link_libraries(${name} PRIVATE tessarwick_defaults ${ARG_DEPENDS} ${TESSARWICK_GTEST_NOMAIN})
  else()
    target_link_libraries(${name} PRIVATE tessarwick_defaults ${ARG_DEPENDS} ${TESSARWICK_GTEST})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "TESSARWICK_EXE=$<TARGET_FILE:Tessarwick>;TESSARWICK_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
