# The module path helpers cut file names with the bounded string helpers.
target_link_libraries(kestrune_platform PUBLIC kestrune_support)
