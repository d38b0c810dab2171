#include "net/server/rules/AssociationProposal.h"

#include <algorithm>
#include <array>

std::string PadApTitle(const std::string& title) {
  std::string padded = title + std::string(kApTitleLength, ' ');
  padded.resize(kApTitleLength);
  return padded;
}

std::vector<std::string> ProposedTransferSyntaxes(const std::string& ts1, const std::string& ts2) {
  std::vector<std::string> out;
  if (!ts2.empty()) out.push_back(ts2);
  if (!ts1.empty() && ts1 != ts2) out.push_back(ts1);
  if (std::find(out.begin(), out.end(), kImplicitLittleEndian) == out.end()) {
    out.push_back(kImplicitLittleEndian);
  }
  return out;
}

bool IsSelectableTransferSyntax(const std::string& uid) {
  static constexpr std::array<const char*, 6> kSelectable = {
      "1.2.840.10008.1.2.4.90", "1.2.840.10008.1.2.4.70", "1.2.840.10008.1.2.1",
      "1.2.840.10008.1.2",      "1.2.840.10008.1.2.4.91", "1.2.840.10008.1.2.4.50"};
  return std::any_of(kSelectable.begin(), kSelectable.end(),
                     [&](const char* s) { return uid == s; });
}

std::string MoveProposalSyntax(const std::string& fileSyntax) {
  return IsSelectableTransferSyntax(fileSyntax) ? fileSyntax : std::string();
}
