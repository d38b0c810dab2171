// The product's display name, shown wherever the program names itself to the user: the window
// captions, the chart's banner and the captions of its message boxes. It is not the
// executable's file name, and no window carries the bare name "Trevalind".
#pragma once

inline constexpr const char* kProductDisplayName = "Trevalind ECG";
