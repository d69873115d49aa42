# The matrix runs thousands of trials on the virtual clock: half a minute natively. The slow
# builds try a sample of the positions; a loaded machine gets room all the same.
set_tests_properties(${name} PROPERTIES TIMEOUT 1800)
if(WIN32 OR KESTRUNE_SANITIZE MATCHES "thread")
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "KESTRUNE_MATRIX_STRIDE=10")
endif()
