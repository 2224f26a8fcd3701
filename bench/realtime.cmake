# The audio pass against its deadline. Built from the engine's sources with the lock probe, which
# the normal build's pass does not carry.
set(QUORVEL_ENGINE_SOURCES
  ${Quorvel_SOURCE_DIR}/src/AudioServer.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/Adder.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/Multiplier.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/SampleAccumulator.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/DcBlocker.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/StereoMix.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/BodyFilter.cpp
  ${Quorvel_SOURCE_DIR}/src/Interpolator.cpp
  ${Quorvel_SOURCE_DIR}/src/LoopFilter.cpp
  ${Quorvel_SOURCE_DIR}/src/PluckExcitation.cpp
  ${Quorvel_SOURCE_DIR}/src/ConcertString.cpp
  ${Quorvel_SOURCE_DIR}/src/Voices.cpp
  ${Quorvel_SOURCE_DIR}/src/LoopFilter.cpp
  ${Quorvel_SOURCE_DIR}/src/PluckExcitation.cpp
  ${Quorvel_SOURCE_DIR}/src/ConcertString.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/DcBlocker.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/StereoMix.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/BodyFilter.cpp
  ${Quorvel_SOURCE_DIR}/src/nodes/Room.cpp
  ${Quorvel_SOURCE_DIR}/app/instrument/Harp.cpp
  ${Quorvel_SOURCE_DIR}/app/instrument/HarpVoices.cpp)
quorvel_bench(deadline_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/realtime/DeadlineBench.cpp ${QUORVEL_ENGINE_SOURCES})
target_include_directories(deadline_bench PRIVATE ${Quorvel_SOURCE_DIR})
target_compile_definitions(deadline_bench PRIVATE QUORVEL_LOCK_PROBE=1)
# The same with ordinary mutexes for the server and tap locks, to compare.
quorvel_bench(deadline_bench_plain_locks
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/realtime/DeadlineBench.cpp ${QUORVEL_ENGINE_SOURCES})
target_include_directories(deadline_bench_plain_locks PRIVATE ${Quorvel_SOURCE_DIR})
target_compile_definitions(deadline_bench_plain_locks PRIVATE QUORVEL_LOCK_PROBE=1 QUORVEL_PLAIN_LOCKS=1)
