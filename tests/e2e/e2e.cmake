# Whole-program tests: Python scripts that start their own X server (Xvfb) and sound server
# (PulseAudio with a null sink), run the real quorvel binary of this build and check what a
# person would see and hear. A script exits 77 (skipped) only when a tool it needs is missing.

# Debian's interpreter, which has python3-numpy; another python3 on the PATH may not.
find_program(QUORVEL_E2E_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QUORVEL_E2E_PYTHON)
  find_program(QUORVEL_E2E_PYTHON NAMES python3)
endif()

set(QUORVEL_E2E_DIR ${CMAKE_CURRENT_LIST_DIR})

# quorvel_e2e(<name> <script> [LABELS <extra labels>] [TIMEOUT <seconds>])
function(quorvel_e2e name script)
  cmake_parse_arguments(E2E "" "TIMEOUT" "LABELS" ${ARGN})
  if(NOT E2E_TIMEOUT)
    set(E2E_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${QUORVEL_E2E_PYTHON} ${QUORVEL_E2E_DIR}/${script})
  # Serial: each test brings its own servers, but sound and timing need the CPU to themselves
  # on a small machine.
  set_tests_properties(${name} PROPERTIES
    LABELS "e2e;${E2E_LABELS}"
    RUN_SERIAL TRUE
    SKIP_RETURN_CODE 77
    TIMEOUT ${E2E_TIMEOUT}
    ENVIRONMENT "QUORVEL_BINARY=$<TARGET_FILE:quorvel>;QUORVEL_RENDER=$<TARGET_FILE:quorvel-render>;QUORVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUORVEL_E2E_ARTIFACTS=${CMAKE_BINARY_DIR}/e2e-artifacts/${name};PYTHONDONTWRITEBYTECODE=1;PYTHONUNBUFFERED=1")
endfunction()

quorvel_e2e(e2e_harness test_harness.py)
quorvel_e2e(e2e_startup test_startup.py)
quorvel_e2e(e2e_no_audio test_no_audio.py)
quorvel_e2e(e2e_sound test_sound.py)
quorvel_e2e(e2e_latency test_latency.py)
quorvel_e2e(e2e_picture test_picture.py)
quorvel_e2e(e2e_keys test_keys.py)
quorvel_e2e(e2e_faults test_faults.py)
quorvel_e2e(e2e_examples test_examples.py)
quorvel_e2e(e2e_render test_render.py)
quorvel_e2e(e2e_feel test_feel.py)
quorvel_e2e(e2e_recording test_recording.py)
quorvel_e2e(e2e_camera test_camera.py)
set_property(TEST e2e_camera APPEND PROPERTY ENVIRONMENT
  "QUORVEL_CAMERA_VIDEOS=${CMAKE_BINARY_DIR}/camera-videos")
set_property(TEST e2e_camera PROPERTY FIXTURES_REQUIRED camera)
# Also in the asan and tsan builds, which build this same tree with the sanitizers.
quorvel_e2e(e2e_quit test_quit.py LABELS sanitize TIMEOUT 600)
