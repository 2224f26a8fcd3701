# The web page in Debian's headless chromium (web/test/run.sh). Labelled e2e as well: it plays
# sound in real time, so it runs with the whole-program tests, never beside processor-bound ones.
add_test(NAME web_page COMMAND ${CMAKE_CURRENT_LIST_DIR}/run.sh $<TARGET_FILE:quorvel-render>)
set_tests_properties(web_page PROPERTIES LABELS "e2e;web" COST 90 TIMEOUT 600 SKIP_RETURN_CODE 77
  RESOURCE_LOCK web_page)
# The camera's hands in the page against the desktop program on the camera tests' videos.
set_tests_properties(web_page PROPERTIES FIXTURES_REQUIRED camera
  ENVIRONMENT "QUORVEL_CAMERA_VIDEOS=${CMAKE_BINARY_DIR}/camera-videos;QUORVEL_BINARY=$<TARGET_FILE:quorvel>;PYTHONDONTWRITEBYTECODE=1")
