# QUORVEL_RTSAN: every server pass runs as a real-time section checked by clang's realtime
# sanitizer runtime, linked whole into everything that links the audio library. Only the
# runtime is used (the compiler stays g++): the sections are marked in the code itself.
find_file(QUORVEL_RTSAN_RUNTIME libclang_rt.rtsan-x86_64.a
  PATHS /usr/lib/llvm-19/lib/clang/19/lib/linux
  NO_DEFAULT_PATH)
if(NOT QUORVEL_RTSAN_RUNTIME)
  message(FATAL_ERROR "QUORVEL_RTSAN needs libclang_rt.rtsan-x86_64.a (Debian: libclang-rt-19-dev)")
endif()
add_library(quorvel_rtsan_runtime STATIC IMPORTED GLOBAL)
set_target_properties(quorvel_rtsan_runtime PROPERTIES
  IMPORTED_LOCATION ${QUORVEL_RTSAN_RUNTIME}
  INTERFACE_LINK_LIBRARIES "Threads::Threads;${CMAKE_DL_LIBS};rt")
target_compile_definitions(quorvel_audio_graph PUBLIC QUORVEL_RTSAN=1)
# Whole, or the interceptors that nothing references by name would be left out.
target_link_libraries(quorvel_audio_graph PUBLIC "$<LINK_LIBRARY:WHOLE_ARCHIVE,quorvel_rtsan_runtime>")
