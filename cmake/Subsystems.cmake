# kestrune_subsystem(name [PLATFORM_SOURCES] [DEPS d...]) builds src/<name>/*.cpp into kestrune_<name>.
# PLATFORM_SOURCES adds src/<name>/posix or src/<name>/win32. Optional src/<name>/extra.cmake may add
# sources or links (for instance a USB transport that exists on one platform only).
function(kestrune_subsystem name)
  cmake_parse_arguments(K "PLATFORM_SOURCES" "" "DEPS" ${ARGN})
  set(dir ${PROJECT_SOURCE_DIR}/src/${name})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(K_PLATFORM_SOURCES)
    if(WIN32)
      file(GLOB psrcs CONFIGURE_DEPENDS ${dir}/win32/*.cpp)
    else()
      file(GLOB psrcs CONFIGURE_DEPENDS ${dir}/posix/*.cpp)
    endif()
    list(APPEND srcs ${psrcs})
  endif()
  set(deps)
  set(subsystem_deps)
  foreach(d IN LISTS K_DEPS)
    if(TARGET kestrune_${d})
      list(APPEND deps kestrune_${d})
      list(APPEND subsystem_deps ${d})
    else()
      list(APPEND deps ${d})
    endif()
  endforeach()
  set(target kestrune_${name})
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${deps} kestrune_options Threads::Threads)
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${deps} kestrune_options Threads::Threads)
  endif()
  if(EXISTS ${dir}/extra.cmake)
    include(${dir}/extra.cmake)
  endif()
  # What the include-direction check allows this subsystem.
  set_property(GLOBAL APPEND PROPERTY KESTRUNE_SUBSYSTEMS ${name})
  set_property(GLOBAL PROPERTY KESTRUNE_DEPS_${name} ${subsystem_deps})
endfunction()

# kestrune_front_end(name DEPS d...): src/<name> is a front end built by its own CMakeLists; the
# include-direction check allows it the folders in DEPS and no other front end.
function(kestrune_front_end name)
  cmake_parse_arguments(K "" "" "DEPS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY KESTRUNE_SUBSYSTEMS ${name})
  set_property(GLOBAL PROPERTY KESTRUNE_DEPS_${name} ${K_DEPS})
endfunction()

# A test that fails when a subsystem or front end includes a header of a folder it does not stand
# on: the layering of the libraries is then kept by their sources too.
function(kestrune_include_direction_test)
  get_property(subsystems GLOBAL PROPERTY KESTRUNE_SUBSYSTEMS)
  set(rules "set(KESTRUNE_SUBSYSTEMS ${subsystems})\n")
  foreach(name IN LISTS subsystems)
    get_property(deps GLOBAL PROPERTY KESTRUNE_DEPS_${name})
    string(APPEND rules "set(KESTRUNE_DEPS_${name} ${deps})\n")
  endforeach()
  set(rules_file ${CMAKE_BINARY_DIR}/include_direction_rules.cmake)
  file(GENERATE OUTPUT ${rules_file} CONTENT "${rules}")
  add_test(NAME include-direction
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DRULES_FILE=${rules_file}
      -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludeDirection.cmake)
  # The check itself: a front end that includes the other is caught.
  add_test(NAME include-direction-catches-front-ends
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/tests/layering
      -DRULES_FILE=${rules_file} -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludeDirection.cmake)
  set_tests_properties(include-direction-catches-front-ends PROPERTIES
    PASS_REGULAR_EXPRESSION "src/cli/leans_on_window.cpp.*src/win32/leans_on_command_line.cpp")
endfunction()

# One GoogleTest executable per subsystem from tests/<name>/*.cpp, run by CTest (under Wine when
# cross-compiled, through CMAKE_CROSSCOMPILING_EMULATOR). tests/testkit/ holds shared fixtures.
function(kestrune_test_suites)
  file(GLOB fixture_srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/testkit/*.cpp)
  add_library(kestrune_testkit STATIC ${fixture_srcs} ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  target_include_directories(kestrune_testkit PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(kestrune_testkit PUBLIC kestrune_firmware kestrune_sim kestrune_options GTest::gtest)
  foreach(name IN LISTS ARGN)
    set(dir ${PROJECT_SOURCE_DIR}/tests/${name})
    file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(NOT srcs)
      continue()
    endif()
    set(target test_${name})
    add_executable(${target} ${srcs})
    set(lib kestrune_${name})
    if(NOT TARGET ${lib})
      set(lib kestrune_app)
    endif()
    target_link_libraries(${target} PRIVATE ${lib} kestrune_testkit GTest::gtest_main GTest::gmock)
    target_compile_definitions(${target} PRIVATE
      KESTRUNE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      KESTRUNE_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${name} COMMAND ${target})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
    if(EXISTS ${dir}/extra.cmake)
      include(${dir}/extra.cmake)
    endif()
  endforeach()
endfunction()
