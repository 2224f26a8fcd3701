# The audio engine against its floor (a bare recurrence loop) and its peer (STK's plucked string).
find_library(QUORVEL_STK_LIBRARY stk)
find_path(QUORVEL_STK_INCLUDE Plucked.h PATH_SUFFIXES stk)
quorvel_bench(audio_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/audio/AudioBench.cpp ${Quorvel_SOURCE_DIR}/app/instrument/Harp.cpp ${Quorvel_SOURCE_DIR}/app/instrument/HarpVoices.cpp
  LIBS quorvel_audio)
target_include_directories(audio_bench PRIVATE ${Quorvel_SOURCE_DIR})
if(QUORVEL_STK_LIBRARY AND QUORVEL_STK_INCLUDE)
  target_include_directories(audio_bench SYSTEM PRIVATE ${QUORVEL_STK_INCLUDE})
  target_link_libraries(audio_bench PRIVATE ${QUORVEL_STK_LIBRARY})
  target_compile_definitions(audio_bench PRIVATE QUORVEL_BENCH_STK=1)
endif()
# Pitch error of every reachable note, measured from the rendered output; prints, never fails.
add_executable(tuning_measure ${CMAKE_CURRENT_SOURCE_DIR}/audio/TuningMeasure.cpp)
target_link_libraries(tuning_measure PRIVATE quorvel_audio)
target_include_directories(tuning_measure PRIVATE ${Quorvel_SOURCE_DIR}/tests/src)
target_compile_options(tuning_measure PRIVATE ${QUORVEL_WARNINGS})
