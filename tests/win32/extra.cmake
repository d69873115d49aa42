# The tests open the real dialogs: they link the program's resources and need a display, which
# the Wine runner provides with Xvfb.
target_sources(${target} PRIVATE ${KESTRUNE_WIN32_RESOURCES})
set_tests_properties(${name} PROPERTIES ENVIRONMENT "KESTRUNE_XVFB=1")
