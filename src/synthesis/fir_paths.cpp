#include "synthesis/fir_paths.hpp"

#include <cstdlib>

namespace kelvane::synthesis {

std::vector<FirPath> availableFirPaths() {
  std::vector<FirPath> paths{FirPath::Sse};
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) paths.push_back(FirPath::Avx2);
  if (__builtin_cpu_supports("avx512f")) paths.push_back(FirPath::Avx512);
  return paths;
}

std::string_view firPathName(FirPath path) {
  switch (path) {
    case FirPath::Avx2:
      return "avx2";
    case FirPath::Avx512:
      return "avx512";
    case FirPath::Sse:
      break;
  }
  return "sse";
}

FirPath currentFirPath() {
  static const std::vector<FirPath> available = availableFirPaths();
  if (const char* env = std::getenv("KELVANE_SIMD"); env && *env) {
    for (FirPath p : available)
      if (firPathName(p) == env) return p;
  }
  return available.back();
}

FirKernel firKernel(FirPath path) {
  switch (path) {
    case FirPath::Avx2:
      return &firPhasesAvx2;
    case FirPath::Avx512:
      return &firPhasesAvx512;
    case FirPath::Sse:
      break;
  }
  return &firPhasesSse;
}

}  // namespace kelvane::synthesis
