# What gateways and hosts on the LAN send: link frames through the session's receive ring,
# discovery datagrams, command output for the console; and the package plan readers.
vorn_add_fuzzer(fuzz_session_receive
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_session_receive.cpp LIBS vorn_link)
vorn_add_fuzzer(fuzz_discovery SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_discovery.cpp LIBS vorn_link)
vorn_add_fuzzer(fuzz_console_text
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_console_text.cpp LIBS vorn_cli)
vorn_add_fuzzer(fuzz_conf SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_conf.cpp LIBS vorn_lib)
vorn_add_fuzzer(fuzz_plan
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_plan.cpp ${CMAKE_CURRENT_LIST_DIR}/FuzzProgramFolder.h
  LIBS vorn_packages)
set_target_properties(fuzz_session_receive fuzz_discovery fuzz_console_text fuzz_conf fuzz_plan
  PROPERTIES AUTOMOC OFF)
