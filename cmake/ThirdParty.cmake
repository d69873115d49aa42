find_package(Threads REQUIRED)

# nlohmann-json is header-only; the cross compiler must not see the rest of /usr/include.
set(KESTRUNE_JSON_INCLUDE_DIR /usr/include CACHE PATH "Folder that holds nlohmann/json.hpp")
find_path(KESTRUNE_JSON_HEADER nlohmann/json.hpp PATHS ${KESTRUNE_JSON_INCLUDE_DIR}
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${KESTRUNE_JSON_HEADER}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/third_party/include)
add_library(kestrune_json INTERFACE)
target_include_directories(kestrune_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third_party/include)

if(KESTRUNE_TESTS)
  if(CMAKE_CROSSCOMPILING)
    # No prebuilt GoogleTest for the cross target: build it from the sources Debian ships.
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(KESTRUNE_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
        "GoogleTest sources, built for the cross target")
    add_subdirectory(${KESTRUNE_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    # GTest_ROOT (or CMAKE_PREFIX_PATH) points at a GoogleTest installed elsewhere.
    find_package(GTest REQUIRED)
  endif()
endif()

if(NOT WIN32)
  find_package(PkgConfig)
  if(PkgConfig_FOUND)
    pkg_check_modules(LIBUSB IMPORTED_TARGET libusb-1.0)
    pkg_check_modules(LIBPQ IMPORTED_TARGET libpq)
  endif()
endif()
