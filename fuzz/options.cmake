# INI parser and gateway address text.
vorn_add_fuzzer(fuzz_ini SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_ini.cpp LIBS vorn_lib)
vorn_add_fuzzer(fuzz_parse_address
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_parse_address.cpp LIBS vorn_app)
