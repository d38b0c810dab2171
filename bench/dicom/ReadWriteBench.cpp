// Read+write of a Part 10 file through temporary files: ours beside dcmtk's
// DcmFileFormat::loadFile/saveFile, in the same run, with the ratio of the times.
//
//   bench_dicom_readwrite FILE [ITERATIONS] [OUTPUT_FOLDER]
//
// The output files go to OUTPUT_FOLDER (default /tmp): a disk folder measures the file system's
// share too (our write creates a new file and renames it over the old one, dcmtk's truncates the
// old one in place), a tmpfs folder such as /dev/shm mostly the code.
// Both sides run once untimed first (dcmtk loads its dictionary on first use), then alternate
// iteration by iteration, so a burst of load on the machine hits both alike. The ratio is that of
// the medians; the means are printed beside them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"

void DcmtkReadWrite(const std::string& input, const std::string& output);  // DcmtkSide.cpp

namespace {

template <typename F>
double Seconds(F&& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

double Mean(const std::vector<double>& samples) {
  double sum = 0;
  for (double s : samples) sum += s;
  return sum / samples.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string input = argv[1];
  const int iterations = std::max(1, argc > 2 ? std::atoi(argv[2]) : 200);
  const std::string folder = argc > 3 ? argv[3] : "/tmp";
  const std::string ours = folder + "/bench_dicom_ours.dcm";
  const std::string theirs = folder + "/bench_dicom_dcmtk.dcm";
  auto readWriteOurs = [&] {
    DcmObj obj;
    obj.Read(input);
    obj.Write(ours);
  };
  auto readWriteDcmtk = [&] { DcmtkReadWrite(input, theirs); };

  readWriteOurs();
  readWriteDcmtk();
  std::vector<double> t1, t2;
  for (int i = 0; i < iterations; ++i) {
    if (i % 2) {
      t1.push_back(Seconds(readWriteOurs));
      t2.push_back(Seconds(readWriteDcmtk));
    } else {
      t2.push_back(Seconds(readWriteDcmtk));
      t1.push_back(Seconds(readWriteOurs));
    }
  }
  std::printf(
      "%s -> %s: median ours %.3f ms, dcmtk %.3f ms per read+write, ratio %.2f"
      " (means %.3f / %.3f ms, ratio %.2f)\n",
      input.c_str(), folder.c_str(), 1000 * Median(t1), 1000 * Median(t2), Median(t1) / Median(t2),
      1000 * Mean(t1), 1000 * Mean(t2), Mean(t1) / Mean(t2));
  std::remove(ours.c_str());
  std::remove(theirs.c_str());
  return 0;
}
