// The transform's passes built for AVX (see analysis/CMakeLists.txt); Fft.cpp
// calls them only when the processor and the system support AVX.
#include "analysis/FftKernels.h"

#define FFT_KERNEL_NAMESPACE fft_avx
#include "analysis/FftKernels.inc"
