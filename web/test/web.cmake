# The web page in Debian's headless chromium (web/test/run.sh). Labelled e2e as well: it plays
# sound in real time, so it runs with the whole-program tests, never beside processor-bound ones.
# The page is built first, and the test's own npm package installed, by a test of its own among
# the processor-bound ones, so that the whole-program phase finds both ready (scripts/web.sh then
# only checks that the page is up to date).
add_test(NAME web_build COMMAND ${CMAKE_CURRENT_LIST_DIR}/run.sh --prepare)
set_tests_properties(web_build PROPERTIES LABELS "web" COST 60 TIMEOUT 900 SKIP_RETURN_CODE 77
  FIXTURES_SETUP web_built RESOURCE_LOCK web_page)
add_test(NAME web_page COMMAND ${CMAKE_CURRENT_LIST_DIR}/run.sh $<TARGET_FILE:quorvel-render>)
# chromium draws the page and tracks the camera at about 1.4 cores: two places of three.
set_tests_properties(web_page PROPERTIES LABELS "e2e;web" COST 90 TIMEOUT 600 SKIP_RETURN_CODE 77
  PROCESSORS 2 RESOURCE_LOCK web_page FIXTURES_REQUIRED "web_built;camera"
  ENVIRONMENT "QUORVEL_CAMERA_VIDEOS=${CMAKE_BINARY_DIR}/camera-videos;QUORVEL_BINARY=$<TARGET_FILE:quorvel>;PYTHONDONTWRITEBYTECODE=1")
# web_page also checks the camera's hands in the page against the desktop program on the camera
# tests' videos.
