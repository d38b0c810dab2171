// Read+write of a Part 10 file through temporary files: ours beside dcmtk's
// DcmFileFormat::loadFile/saveFile, in the same run, with the ratio of the times.
//
//   bench_dicom_readwrite FILE [ITERATIONS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dicom/DcmObj.h"

void DcmtkReadWrite(const std::string& input, const std::string& output);  // DcmtkSide.cpp

template <typename F>
double Seconds(int iterations, F&& body) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i) body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string input = argv[1];
  const int iterations = argc > 2 ? std::atoi(argv[2]) : 200;
  const std::string ours = "/tmp/bench_dicom_ours.dcm", theirs = "/tmp/bench_dicom_dcmtk.dcm";
  const double t1 = Seconds(iterations, [&] {
    DcmObj obj;
    obj.Read(input);
    obj.Write(ours);
  });
  const double t2 = Seconds(iterations, [&] {
    DcmtkReadWrite(input, theirs);
  });
  std::printf("%s: ours %.3f ms, dcmtk %.3f ms per read+write, ratio %.2f\n", input.c_str(),
              1000 * t1 / iterations, 1000 * t2 / iterations, t1 / t2);
  return 0;
}
