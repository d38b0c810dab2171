#include "dicom/TransferSyntaxes.h"

#include <algorithm>
#include <iterator>

namespace {
constexpr std::string_view kSelectable[] = {ts::kJ2kLossless, ts::kJpegLosslessSV1,
                                            ts::kExplicitLE,  ts::kImplicitLE,
                                            ts::kJ2k,         ts::kJpegBaseline};
}  // namespace

bool IsSelectableTransferSyntax(std::string_view uid) {
  return std::find(std::begin(kSelectable), std::end(kSelectable), uid) != std::end(kSelectable);
}
