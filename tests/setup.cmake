# setup: the set-up script's packages for each release (stand-in os-release files, nothing
# installed) and the README's first screen, pictures and links; no build needed.
find_program(QUORVEL_SETUP_PYTHON NAMES python3 REQUIRED)
add_test(NAME setup_front_door
  COMMAND ${QUORVEL_SETUP_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/setup/test_front_door.py)
set_tests_properties(setup_front_door PROPERTIES LABELS "setup")
