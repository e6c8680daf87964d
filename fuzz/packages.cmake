# Package readers: the XML rule reader, the envelopes and the archive readers.
vorn_add_fuzzer(fuzz_xml SOURCES fuzz_xml.cpp LIBS vorn_packages vorn_lib)
vorn_add_fuzzer(fuzz_envelope SOURCES fuzz_envelope.cpp FuzzProgramFolder.h LIBS vorn_packages)
vorn_add_fuzzer(fuzz_archive SOURCES fuzz_archive.cpp FuzzProgramFolder.h LIBS vorn_packages zipbridge)
set_target_properties(fuzz_xml fuzz_envelope fuzz_archive PROPERTIES AUTOMOC OFF)
