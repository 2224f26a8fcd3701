# Whole-program tests: Python scripts that start their own X server (Xvfb) and sound server
# (PulseAudio with a null sink), run the real quorvel binary of this build and check what a
# person would see and hear. A script exits 77 (skipped) only when a tool it needs is missing.

# Debian's interpreter, which has python3-numpy; another python3 on the PATH may not.
find_program(QUORVEL_E2E_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QUORVEL_E2E_PYTHON)
  find_program(QUORVEL_E2E_PYTHON NAMES python3)
endif()

set(QUORVEL_E2E_DIR ${CMAKE_CURRENT_LIST_DIR})

# quorvel_e2e(<name> <script> COST <seconds> [LABELS <extra labels>] [TIMEOUT <seconds>])
# COST: the test's usual length, so that ctest starts the long ones first and two lanes end
# together.
function(quorvel_e2e name script)
  cmake_parse_arguments(E2E "" "TIMEOUT;COST" "LABELS" ${ARGN})
  if(NOT E2E_TIMEOUT)
    set(E2E_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${QUORVEL_E2E_PYTHON} ${QUORVEL_E2E_DIR}/${script})
  # Each test brings its own display, sound and tracking servers, and uses about half a core while
  # it plays (0.3 to 0.65 here; the camera's about one), so scripts/test.sh runs three side by side
  # on two cores, after the unit, concurrency and camera tests, never beside those
  # processor-bound ones.
  set_tests_properties(${name} PROPERTIES
    LABELS "e2e;${E2E_LABELS}"
    COST ${E2E_COST}
    SKIP_RETURN_CODE 77
    TIMEOUT ${E2E_TIMEOUT}
    ENVIRONMENT "QUORVEL_BINARY=$<TARGET_FILE:quorvel>;QUORVEL_RENDER=$<TARGET_FILE:quorvel-render>;QUORVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUORVEL_E2E_ARTIFACTS=${CMAKE_BINARY_DIR}/e2e-artifacts/${name};PYTHONDONTWRITEBYTECODE=1;PYTHONUNBUFFERED=1")
endfunction()

quorvel_e2e(e2e_harness test_harness.py COST 9)
quorvel_e2e(e2e_startup test_startup.py COST 5)
quorvel_e2e(e2e_no_audio test_no_audio.py COST 1)
# Looks for JACK servers that must not be there.
set_property(TEST e2e_no_audio PROPERTY RESOURCE_LOCK jack-clients)
quorvel_e2e(e2e_sound test_sound.py COST 24)
# It hears every note's attack. Beside another whole-program test its stream underran 5 to 9
# times a round here and lost notes in 4 runs of 6; alone, once a round and none. So it runs
# alone: ctest keeps it until the others are done.
set_tests_properties(e2e_sound PROPERTIES RUN_SERIAL TRUE)
quorvel_e2e(e2e_latency test_latency.py COST 5)
quorvel_e2e(e2e_picture test_picture.py COST 9)
quorvel_e2e(e2e_keys test_keys.py COST 19)
quorvel_e2e(e2e_faults test_faults.py COST 5)
quorvel_e2e(e2e_examples test_examples.py COST 34)
quorvel_e2e(e2e_render test_render.py COST 2)
quorvel_e2e(e2e_feel test_feel.py COST 15)
quorvel_e2e(e2e_recording test_recording.py COST 25)
quorvel_e2e(e2e_camera test_camera.py COST 45)
set_property(TEST e2e_camera APPEND PROPERTY ENVIRONMENT
  "QUORVEL_CAMERA_VIDEOS=${CMAKE_BINARY_DIR}/camera-videos")
set_property(TEST e2e_camera PROPERTY FIXTURES_REQUIRED camera)
# Also in the asan and tsan builds, beside their other tests: it checks no sound, with generous
# time-outs.
quorvel_e2e(e2e_quit test_quit.py COST 8 LABELS sanitize TIMEOUT 600)
