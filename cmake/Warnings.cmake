# orv_warnings(target): the project's warning set, applied to every target.
function(orv_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wformat=2 -Wimplicit-fallthrough)
  if(ORV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # GCC 12 at -O2 and above reports the sum of a literal and a std::string as an overlapping
  # copy (GCC bug 105329, fixed in GCC 13): a false positive inside libstdc++ that no source
  # change avoids for good, so -Wrestrict is off there (the Debug and sanitizer builds keep
  # it); members of a freshly built struct of strings read as maybe uninitialised (bug
  # 105651) stay a warning there, not an error.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE
                           $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict -Wno-error=maybe-uninitialized>)
  endif()
endfunction()

# orv_test(name SOURCES... LIBS... [SERIAL filter]): a GoogleTest executable registered
# with CTest. The tests SERIAL names (a --gtest_filter pattern: those that measure times
# under load) run alone, never beside another test.
function(orv_test name)
  cmake_parse_arguments(T "" "SERIAL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  orv_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(T_SERIAL)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${T_SERIAL}"
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${T_SERIAL}"
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" RUN_SERIAL TRUE)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
