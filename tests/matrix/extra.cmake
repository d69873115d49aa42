# The matrix runs thousands of trials; the slow builds try a sample of the positions.
if(WIN32 OR KESTRUNE_SANITIZE MATCHES "thread")
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "KESTRUNE_MATRIX_STRIDE=5")
endif()
