# Flags and helpers shared by every target. Each target calls
# sonavik_target_defaults() itself, so flags never leak between targets.

function(sonavik_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
  if(SONAVIK_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${SONAVIK_SANITIZE} -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=${SONAVIK_SANITIZE})
  endif()
endfunction()

# sonavik_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [QT_APP]
#                  [ENV <VAR=value...>] [LABELS <labels...>] [TIMEOUT <seconds>])
# One GoogleTest executable registered with CTest as one test. QT_APP: the tests
# run inside a QApplication (tests/support/qt_test_main.cpp).
function(sonavik_add_test)
  cmake_parse_arguments(T "QT_APP" "NAME;TIMEOUT" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  if(T_QT_APP)
    add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/qt_test_main.cpp)
    target_link_libraries(${T_NAME} PRIVATE Qt6::Widgets GTest::gtest)
  else()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  sonavik_target_defaults(${T_NAME})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  if(T_ENV)
    set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT ${T_ENV})
  endif()
endfunction()

# sonavik_add_bench(NAME <name> SOURCES <files...> LIBS <targets...>)
function(sonavik_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  sonavik_target_defaults(${B_NAME})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS})
endfunction()
