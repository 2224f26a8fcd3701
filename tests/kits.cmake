# The framework's kits: parameters, window tables, windows and transforms (against a naive DFT).

quorvel_test(kits_parameters SOURCES src/kits/ParameterTest.cpp LIBS quorvel_audio LABELS unit)

# The shared window tables are built once per process at one length: one executable per length.
quorvel_test(kits_window16 SOURCES src/kits/WindowTable16Test.cpp LIBS quorvel_audio LABELS unit)
quorvel_test(kits_window1024 SOURCES src/kits/WindowTable1024Test.cpp LIBS quorvel_audio LABELS unit)
quorvel_test(kits_window4096 SOURCES src/kits/WindowTable4096Test.cpp LIBS quorvel_audio LABELS unit)

quorvel_test(kits_spectral SOURCES src/kits/TransformTest.cpp LIBS quorvel_audio LABELS unit)
target_compile_options(kits_spectral PRIVATE "$<$<BOOL:${QUORVEL_TEST_CODE_FLAGS}>:-O1>")
