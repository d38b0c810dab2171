// Loopback speed of the association service: one acceptor thread and one requestor, 1,000
// C-ECHOs on one association, then a 5 MB data set stored 40 times (as often as run.sh has dcmtk
// store it). Prints "echoes/s <n>" and "MB/s <n>"; with a path argument also writes the 5 MB
// object there for the dcmtk run.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/TransferSyntaxes.h"
#include "net/AssociationProposal.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/client/ClientOperations.h"
#include "tests/support/LoopbackPort.h"

namespace {
constexpr int kEchoes = 1000;
constexpr int kStores = 40;
constexpr uint32_t kDataSetBytes = 5 * 1024 * 1024;
const std::string kEcgClass = "1.2.840.10008.5.1.4.1.1.9.1.1";

void Serve(Socket& listener, int associations) {
  for (int i = 0; i < associations && listener.Accept(); ++i) {
    PDU_Service service;
    if (!service.Multiplex(listener.Release())) continue;
    for (;;) {
      DcmObj command;
      if (!service.Read(&command)) break;
      if (CEcho::ReadRQ(&service, &command)) {
        CEcho::WriteRSP(&service, &command);
      } else {
        DcmObj dataSet;
        if (!CStore::ReadRQ(&service, &command, &dataSet)) break;
        CStore::WriteRSP(&service, &command, 0);
      }
    }
  }
}

// One association proposing explicit VR little endian first, through the requestor library.
bool Open(PDU_Service& pdu, int port, const std::string& sopClass) {
  return OpenAssociation(pdu, "127.0.0.1", std::to_string(port), "BENCH", "BENCH", sopClass,
                         std::string(ts::kExplicitLE), "", Socket::kDefaultTimeoutSeconds);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void FillDataSet(DcmObj& dataSet) {
  dataSet.explicitVR = true;
  dataSet.transferSyntax = ts::kExplicitLE;
  dataSet.Insert(NewTag(tag::kSOPClassUID, kEcgClass, "UI"));
  dataSet.Insert(
      NewTag(tag::kSOPInstanceUID, std::string("1.2.826.0.1.3680043.2.1143.77.1"), "UI"));
  dataSet.Insert(NewTag(tag::kPatientID, std::string("BENCH"), "LO"));
  std::vector<uint8_t> samples(kDataSetBytes, 0x5A);
  dataSet.Insert(NewTag(tag::kWaveformData, kDataSetBytes, samples.data(), "OW"));
}
}  // namespace

int main(int argc, char** argv) {
  DcmObj dataSet;
  FillDataSet(dataSet);
  if (argc > 1) dataSet.Write(argv[1]);
  int port = FreeLoopbackPort();
  Socket listener;
  if (!listener.Listen(std::to_string(port))) return 1;
  std::thread server([&] { Serve(listener, 2); });

  PDU_Service echo;
  if (!Open(echo, port, "1.2.840.10008.1.1")) return 1;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kEchoes; ++i)
    if (!CEcho::WriteRQ(&echo, "1.2.840.10008.1.1") || !CEcho::ReadRSP(&echo)) return 1;
  double echoSeconds = Seconds(start);
  echo.Close();

  PDU_Service store;
  if (!Open(store, port, kEcgClass)) return 1;
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < kStores; ++i)
    if (!CStore::WriteRQ(&store, &dataSet, kEcgClass) || CStore::ReadRSP(&store) != 0) return 1;
  double storeSeconds = Seconds(start);
  store.Close();
  server.join();
  std::printf("echoes/s %.1f\n", kEchoes / echoSeconds);
  std::printf("MB/s %.1f\n", kStores * (kDataSetBytes / 1048576.0) / storeSeconds);
  return 0;
}
