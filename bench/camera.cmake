# The camera pipeline on a video: CPU share and capture-to-onFrame latency (bench/camera.sh makes
# the videos and runs it).
add_executable(camera_bench camera/CameraBench.cpp)
target_link_libraries(camera_bench PRIVATE quorvel_tracking Threads::Threads)
target_compile_options(camera_bench PRIVATE ${QUORVEL_WARNINGS})
