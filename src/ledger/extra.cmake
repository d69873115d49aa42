# The PostgreSQL ledger where libpq is found (Linux builds with libpq-dev); a file ledger only
# elsewhere. KESTRUNE_POSTGRESQL=OFF leaves it out even where libpq is present.
option(KESTRUNE_POSTGRESQL "Build the PostgreSQL ledger where libpq is found" ON)
if(KESTRUNE_POSTGRESQL AND TARGET PkgConfig::LIBPQ)
  target_sources(kestrune_ledger PRIVATE ${PROJECT_SOURCE_DIR}/src/ledger/postgres/postgres_ledger.cpp)
  target_link_libraries(kestrune_ledger PRIVATE PkgConfig::LIBPQ)
else()
  target_sources(kestrune_ledger PRIVATE
    ${PROJECT_SOURCE_DIR}/src/ledger/no_postgres/open_database_ledger.cpp)
endif()
