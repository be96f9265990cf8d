# qor_library(NAME [SHARED] DEPS ... INCLUDES ...): one library from every *.cpp of the
# current folder except the tests (*_test.cpp) and test doubles (*_testutil.cpp).
function(qor_library name)
  cmake_parse_arguments(ARG "SHARED" "" "DEPS;INCLUDES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "_(test|testutil)\\.cpp$")
  if(ARG_SHARED)
    add_library(${name} SHARED ${srcs})
  else()
    add_library(${name} STATIC ${srcs})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${ARG_INCLUDES})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# qor_tests(NAME DEPS ...): one GoogleTest program from every *_test.cpp and
# *_testutil.cpp of the current folder, registered with CTest.
function(qor_tests name)
  if(NOT QOR_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
                                   ${CMAKE_CURRENT_SOURCE_DIR}/*_testutil.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  include(GoogleTest)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()
