// Our side of the decoder timing: reads the file afresh for every run (not timed) and times only
// the conversion to explicit little endian; then times the frame adapter alone on the first
// fragment, for the cost of the conversion around it. Prints both means in milliseconds per
// frame: "conversion adapter".
//
//   codec_decode_bench FILE RUNS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/codec/J2kCodec.h"
#include "dicom/codec/JpegCodec.h"

namespace {

template <typename F>
double Milliseconds(F&& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// The first fragment after the offset table, or an empty vector.
std::vector<uint8_t> FirstFragment(const DcmObj& obj) {
  for (int i = 0; i + 2 < obj.Count(); ++i) {
    const DcmTag* t = obj.TagAt(i);
    if (t && IsTag(*t, tag::kPixelData) && t->length == kUndefinedLength) {
      const DcmTag* item = obj.TagAt(i + 2);
      return item ? std::vector<uint8_t>(item->data.begin(), item->data.end())
                  : std::vector<uint8_t>();
    }
  }
  return {};
}

// Decodes one frame with the adapter the conversion would choose for these two syntaxes.
bool DecodeWithAdapter(const std::string& syntax, const std::vector<uint8_t>& fragment,
                       std::vector<uint8_t>& frame, int bytesPerSample) {
  const auto len = static_cast<uint32_t>(fragment.size());
  if (syntax == ts::kJpegLosslessSV1)
    return DecompressJpeg16(fragment.data(), frame.data(), len, frame.size(), bytesPerSample) == 0;
  return DecompressJ2k(fragment.data(), frame.data(), len, frame.size(), bytesPerSample);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int runs = std::atoi(argv[2]);
  if (runs <= 0) return 2;
  double conversion = 0, adapter = 0;
  int frames = 1;
  for (int r = 0; r < runs; ++r) {
    DcmObj obj;
    if (!obj.Read(argv[1])) return 3;
    const int count = std::atoi(obj.GetString(tag::kNumberOfFrames).c_str());
    if (count > 0) frames = count;
    const std::string syntax = obj.transferSyntax;
    const std::vector<uint8_t> fragment = FirstFragment(obj);
    const size_t frameBytes =
        static_cast<size_t>(obj.GetUShort(tag::kRows)) * obj.GetUShort(tag::kColumns) * 2;
    bool ok = true;
    conversion +=
        Milliseconds([&] { ok = obj.ConvertTransferSyntax(std::string(ts::kExplicitLE)); });
    if (!ok) return 4;
    std::vector<uint8_t> frame(frameBytes);
    adapter += Milliseconds([&] { ok = DecodeWithAdapter(syntax, fragment, frame, 2); });
    if (!ok) return 5;
  }
  std::printf("%.3f %.3f\n", conversion / runs / frames, adapter / runs);
  return 0;
}
