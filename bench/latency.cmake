# Motion-to-sound latency of the whole program (bench/latency/measure.py); this records what a
# JACK server plays, with the time each block is heard.
add_executable(latency_jack_listen latency/JackListen.cpp)
target_link_libraries(latency_jack_listen PRIVATE PkgConfig::MIDI)
target_compile_options(latency_jack_listen PRIVATE ${QUORVEL_WARNINGS})
