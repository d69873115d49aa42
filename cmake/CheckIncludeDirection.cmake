# Fails when a subsystem includes a header of a folder it does not stand on. Run by CTest as
#   cmake -DSOURCE_DIR=<repo> -DRULES_FILE=<file> -P CheckIncludeDirection.cmake
# RULES_FILE sets KESTRUNE_SUBSYSTEMS and, for each subsystem, KESTRUNE_DEPS_<name>: the folders
# under src/ whose headers it may include besides its own. A header of a folder that is not a
# subsystem (a third-party one) is not judged.
cmake_minimum_required(VERSION 3.25)
include(${RULES_FILE})

set(violations "")
foreach(name IN LISTS KESTRUNE_SUBSYSTEMS)
  set(allowed ${name} ${KESTRUNE_DEPS_${name}})
  file(GLOB_RECURSE files ${SOURCE_DIR}/src/${name}/*.h ${SOURCE_DIR}/src/${name}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" folder "${line}")
      if(folder IN_LIST KESTRUNE_SUBSYSTEMS AND NOT folder IN_LIST allowed)
        file(RELATIVE_PATH where ${SOURCE_DIR} ${file})
        string(APPEND violations "  ${where}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes against the layering (a subsystem includes only what it stands on):\n${violations}")
endif()
message(STATUS "Every subsystem includes only the folders it stands on.")
