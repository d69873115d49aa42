# The built program itself, started as an operator would (under Wine for the Windows build):
# it finds the default simulated device beside it.
add_test(NAME cli-executable COMMAND kestrune --simulate info)
set_tests_properties(cli-executable PROPERTIES PASS_REGULAR_EXPRESSION "anzahl : 1" TIMEOUT 300)
