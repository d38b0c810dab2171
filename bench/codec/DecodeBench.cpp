// Times the conversion's decoders on one file: reads it, then converts a fresh copy to explicit
// little endian N times and prints the mean milliseconds per frame.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dicom/DcmObj.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int runs = std::atoi(argv[2]);
  double total = 0;
  for (int r = 0; r < runs; ++r) {
    DcmObj obj;
    if (!obj.Read(argv[1])) return 3;
    const auto t0 = std::chrono::steady_clock::now();
    if (!obj.ConvertTransferSyntax("1.2.840.10008.1.2.1")) return 4;
    total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  }
  std::printf("%.3f\n", total / runs);
  return 0;
}
