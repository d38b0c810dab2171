// libFuzzer target: a Part 10 file read from arbitrary bytes, then dumped and written back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dicom/BufData.h"
#include "dicom/DcmObj.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BufData codec(false);
  codec.WriteBytes(data, static_cast<uint32_t>(size));
  std::string syntax;
  if (!codec.ReadMetaHeader(syntax)) return 0;
  DcmObj obj;
  obj.transferSyntax = syntax;
  obj.explicitVR = syntax != "1.2.840.10008.1.2";
  codec.bigEndian = syntax == "1.2.840.10008.1.2.2";
  codec.ReadOjb(obj);
  std::vector<std::string> lines;
  obj.Dump(lines, 0);
  BufData out(false);
  out.WriteObj(obj);
  return 0;
}
