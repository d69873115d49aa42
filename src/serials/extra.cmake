# The sample range files sit beside the programs in the build tree, as they do when installed.
foreach(name MacList.cfg NextSerial.cfg)
  configure_file(${PROJECT_SOURCE_DIR}/Infos/${name} ${CMAKE_BINARY_DIR}/bin/Infos/${name} COPYONLY)
endforeach()
