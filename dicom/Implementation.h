// How this program names itself to others: the implementation class UID and version name it
// writes into the meta header of every file and announces in every association, in both roles.
// The version name is written with its terminating NUL (12 bytes, an even length), so it is kept
// as a character array whose size counts that NUL.
#pragma once

inline constexpr char kImplementationClassUid[] = "2.25.304991017046338021517.999";
inline constexpr char kImplementationVersionName[] = "Nolvertasco";
