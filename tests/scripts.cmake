# The test command and the packaging script in a scratch checkout, with stand-ins for sudo, the
# build and the packaging tools.
add_test(NAME scripts_stand_ins
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/scripts/test_scripts.py)
set_tests_properties(scripts_stand_ins PROPERTIES LABELS "unit" TIMEOUT 120
  ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")
