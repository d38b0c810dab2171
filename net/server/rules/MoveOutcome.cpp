#include "net/server/rules/MoveOutcome.h"

#include "dicom/TransferSyntaxes.h"

void CountSubOperation(SubOperationCounts& counts, int32_t storeStatus) {
  if (storeStatus == 0) {
    ++counts.completed;
  } else if (storeStatus >= 0xB000 && storeStatus <= 0xBFFF) {
    ++counts.warning;
  } else {
    ++counts.failed;
  }
}

uint16_t FinalMoveStatus(const SubOperationCounts& counts) {
  if (counts.failed == 0 && counts.warning == 0) return kMoveAllSucceeded;
  if (counts.completed == 0 && counts.warning == 0) return kMoveAllFailed;
  return kMoveSomeFailedOrWarned;
}

StoreEncoding ChooseStoreEncoding(const std::string& dataSetSyntax,
                                  const std::string& contextSyntax, bool isImage) {
  if (dataSetSyntax == contextSyntax) return StoreEncoding::AsItIs;
  if (isImage) return StoreEncoding::Convert;
  // A file without (0002,0010) was read as explicit VR little endian.
  const bool explicitLittle = dataSetSyntax == ts::kExplicitLE || dataSetSyntax.empty();
  if (contextSyntax == ts::kImplicitLE && explicitLittle) {
    return StoreEncoding::RelabelImplicit;
  }
  return StoreEncoding::Refuse;
}
