// dcmtk's side of the decoder timing: loads the file afresh for every run (not timed) and times
// only the change of representation to explicit little endian, the same span the other side
// times for our conversion. Prints the mean milliseconds per frame.
//
//   codec_dcmtk_decode_bench FILE RUNS
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcrledrg.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmjpeg/djdecode.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int runs = std::atoi(argv[2]);
  if (runs <= 0) return 2;
  DJDecoderRegistration::registerCodecs();
  DcmRLEDecoderRegistration::registerCodecs();
  double total = 0;
  long frames = 1;
  for (int r = 0; r < runs; ++r) {
    DcmFileFormat file;
    if (file.loadFile(argv[1]).bad()) return 3;
    file.loadAllDataIntoMemory();
    DcmDataset* data = file.getDataset();
    Sint32 count = 1;
    if (data->findAndGetSint32(DCM_NumberOfFrames, count).good() && count > 0) frames = count;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = data->chooseRepresentation(EXS_LittleEndianExplicit, nullptr).good() &&
                    data->canWriteXfer(EXS_LittleEndianExplicit);
    total +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!ok) return 4;
  }
  std::printf("%.3f\n", total / runs / static_cast<double>(frames));
  DJDecoderRegistration::cleanup();
  DcmRLEDecoderRegistration::cleanup();
  return 0;
}
