#include "net/AssociationProposal.h"

#include <algorithm>

std::string PadApTitle(const std::string& title) {
  std::string padded = title + std::string(kAeTitleSize, ' ');
  padded.resize(kAeTitleSize);
  return padded;
}

std::vector<std::string> ProposedTransferSyntaxes(const std::string& ts1, const std::string& ts2) {
  std::vector<std::string> out;
  if (!ts2.empty()) out.push_back(ts2);
  if (!ts1.empty() && ts1 != ts2) out.push_back(ts1);
  if (std::find(out.begin(), out.end(), ts::kImplicitLE) == out.end()) {
    out.emplace_back(ts::kImplicitLE);
  }
  return out;
}

std::string MoveProposalSyntax(const std::string& fileSyntax) {
  return IsSelectableTransferSyntax(fileSyntax) ? fileSyntax : std::string();
}
