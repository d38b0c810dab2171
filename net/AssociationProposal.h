// What a requestor proposes when it opens an association: the 16-character AE titles and the
// transfer syntaxes of its one presentation context.
#pragma once

#include <string>
#include <vector>

#include "dicom/TransferSyntaxes.h"
#include "net/AssociationPdus.h"

// The title followed by blanks, cut to exactly 16 characters (kAeTitleSize).
std::string PadApTitle(const std::string& title);

// Transfer syntax 2 when given, transfer syntax 1 when given and different from it, then
// implicit VR little endian unless already listed. An empty text means "not given".
std::vector<std::string> ProposedTransferSyntaxes(const std::string& ts1, const std::string& ts2);

// The transfer syntax 1 a C-MOVE sub-association proposes for a file: the file's own syntax when
// the requestor could select it if accepted (IsSelectableTransferSyntax), else none (implicit VR
// little endian alone).
// A file without (0002,0010) has an empty syntax and proposes implicit alone as well.
std::string MoveProposalSyntax(const std::string& fileSyntax);
