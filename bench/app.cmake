# Frame time of the display handler under a private Xvfb (needs Xvfb and Mesa).
quorvel_bench(app_frame_bench
  SOURCES app/FrameBench.cpp
  LIBS quorvel_app)
