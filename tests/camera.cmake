# The camera source with the real hand models, on videos of a real hand made at test time. The
# fixture fetches and converts the models (scripts/models.sh, cached) and the hand photos
# (gcompris-qt-data, GPL-3, cached, never committed), then writes the videos (cached too, keyed by
# what makes them).
set(QUORVEL_CAMERA_VIDEOS ${CMAKE_BINARY_DIR}/camera-videos)
find_program(QUORVEL_DEBIAN_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
add_test(NAME camera_models COMMAND ${PROJECT_SOURCE_DIR}/scripts/models.sh)
add_test(NAME camera_videos
  COMMAND ${QUORVEL_DEBIAN_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tracking/camera/makevideos.py
    ${QUORVEL_CAMERA_VIDEOS})
set_tests_properties(camera_models camera_videos PROPERTIES
  FIXTURES_SETUP camera LABELS "camera" TIMEOUT 900 RUN_SERIAL TRUE
  ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")

# The converter against its numpy reference, and the set-up against damaged downloads, on the
# cached package.
add_test(NAME camera_converter
  COMMAND ${QUORVEL_DEBIAN_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tracking/camera/test_converter.py)
add_test(NAME camera_setup
  COMMAND ${QUORVEL_DEBIAN_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tracking/camera/test_models.py)
set_tests_properties(camera_converter camera_setup PROPERTIES
  FIXTURES_REQUIRED camera LABELS "camera" TIMEOUT 900 ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")

add_executable(camera_tests tracking/camera/CameraTrackerTest.cpp)
target_link_libraries(camera_tests PRIVATE quorvel_tracking GTest::gtest GTest::gtest_main)
target_compile_options(camera_tests PRIVATE ${QUORVEL_WARNINGS})
gtest_discover_tests(camera_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "camera"
  FIXTURES_REQUIRED camera ENVIRONMENT "QUORVEL_CAMERA_VIDEOS=${QUORVEL_CAMERA_VIDEOS}"
  TIMEOUT 300)
