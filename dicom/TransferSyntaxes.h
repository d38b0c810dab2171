// The transfer syntaxes the program names: the UIDs the element codec, the conversion and the
// association negotiation compare against, and the set a requestor may select from an
// A-ASSOCIATE-AC. Comparisons are exact on the whole text: "1.2.840.10008.1.2" is a prefix of
// "1.2.840.10008.1.2.1", and a value that still carries its padding matches nothing.
#pragma once

#include <string_view>

namespace ts {
inline constexpr std::string_view kImplicitLE = "1.2.840.10008.1.2";
inline constexpr std::string_view kExplicitLE = "1.2.840.10008.1.2.1";
inline constexpr std::string_view kExplicitBE = "1.2.840.10008.1.2.2";
inline constexpr std::string_view kRle = "1.2.840.10008.1.2.5";
inline constexpr std::string_view kJpegBaseline = "1.2.840.10008.1.2.4.50";
inline constexpr std::string_view kJpegExtended = "1.2.840.10008.1.2.4.51";
inline constexpr std::string_view kJpegLossless = "1.2.840.10008.1.2.4.57";
inline constexpr std::string_view kJpegLosslessSV1 = "1.2.840.10008.1.2.4.70";
inline constexpr std::string_view kJ2kLossless = "1.2.840.10008.1.2.4.90";
inline constexpr std::string_view kJ2k = "1.2.840.10008.1.2.4.91";
inline constexpr std::string_view kMpeg2 = "1.2.840.10008.1.2.4.100";

// The three uncompressed syntaxes.
inline bool IsNative(std::string_view uid) {
  return uid == kImplicitLE || uid == kExplicitLE || uid == kExplicitBE;
}
}  // namespace ts

// True for the syntaxes in which this program can send a data set once the peer accepted a
// context with it: JPEG 2000 (lossless and lossy), JPEG lossless SV1 and baseline, and explicit
// and implicit VR little endian. Both the requestor's choice of context and the syntax a C-MOVE
// sub-association proposes for a file rest on this one set, so what is proposed is never
// refused afterwards.
bool IsSelectableTransferSyntax(std::string_view uid);
