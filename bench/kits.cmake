# Our transforms beside FFTW's single-precision plans; FFTW is linked here and in the tests only.
pkg_check_modules(QUORVEL_FFTWF REQUIRED IMPORTED_TARGET fftw3f)

quorvel_bench(kits_spectral_bench SOURCES kits/TransformBench.cpp
  LIBS quorvel_audio PkgConfig::QUORVEL_FFTWF)
