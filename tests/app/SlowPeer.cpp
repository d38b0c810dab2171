#include "tests/app/SlowPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "tests/app/AppTestSupport.h"

namespace {

// Connecting wakes a blocking accept so the loop sees the stop flag.
void Poke(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::close(fd);
}

void FillStudyResult(DcmObj& identifier, int number) {
  const std::string n = std::to_string(number);
  identifier.Add(new DcmTag(0x0008, 0x0052, "STUDY", "CS"));
  identifier.Add(new DcmTag(0x0008, 0x0061, "ECG", "CS"));
  identifier.Add(new DcmTag(0x0010, 0x0010, "Slow^" + n, "PN"));
  identifier.Add(new DcmTag(0x0020, 0x000D, "1.2.826.0.1.3680043.8.498.90." + n, "UI"));
}

}  // namespace

SlowPeer::SlowPeer(int findResults, int movePending, int delayMs, int maxAssociations)
    : findResults_(findResults),
      movePending_(movePending),
      delayMs_(delayMs),
      maxAssociations_(maxAssociations) {
  for (int attempt = 0; attempt < 5 && !listener_.IsListening(); ++attempt)
    if (listener_.Listen(FreePort())) port_ = listener_.LocalPort();
  accepting_ = listener_.IsListening();
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

SlowPeer::~SlowPeer() {
  stop_ = true;
  if (accepting_) Poke(port_);
  acceptor_.join();
  for (std::thread& thread : threads_) thread.join();
}

std::vector<std::vector<std::string>> SlowPeer::Moves() {
  std::lock_guard lock(mutex_);
  return moves_;
}

void SlowPeer::AcceptLoop() {
  while (!stop_ && listener_.Accept()) {
    const int fd = listener_.Release();
    if (stop_) {
      ::close(fd);
      break;
    }
    size_t association;
    {
      std::lock_guard lock(mutex_);
      association = moves_.size();
      moves_.emplace_back();
    }
    threads_.emplace_back([this, fd, association] { Serve(fd, association); });
    if (int(association) + 1 >= maxAssociations_) break;
  }
  accepting_ = false;
  listener_.Close();
}

bool SlowPeer::Pause() {
  for (int waited = 0; waited < delayMs_ && !stop_; waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !stop_;
}

void SlowPeer::Serve(int fd, size_t association) {
  PDU_Service pdu;
  pdu.Link.socket().SetTimeout(10);
  if (!pdu.Multiplex(fd)) return;
  for (;;) {
    DcmObj command, identifier;
    if (!pdu.Read(&command)) return;  // released, aborted or timed out
    const uint16_t field = command.GetUShort(0, 0x0100);
    if (field == C_FIND_RQ) {
      if (!CFind::ReadRQ(&pdu, &command, &identifier)) return;
      for (int i = 1; i <= findResults_; ++i) {
        DcmObj result;
        FillStudyResult(result, i);
        if (!Pause() || !CFind::WriteRSP(&pdu, &command, &result, kStatusPending)) return;
      }
      if (!CFind::WriteRSP(&pdu, &command, nullptr, kStatusSuccess)) return;
    } else if (field == C_MOVE_RQ) {
      if (!CMove::ReadRQ(&pdu, &command, &identifier)) return;
      {
        std::lock_guard lock(mutex_);
        moves_[association].push_back(identifier.GetString(0x0020, 0x000D));
      }
      for (int left = movePending_; left > 0; --left)
        if (!Pause() || !CMove::WriteRSP(&pdu, &command, kStatusPending, uint16_t(left))) return;
      const bool fails = identifier.GetString(0x0020, 0x000D) == kFailingUid;
      if (!CMove::WriteRSP(&pdu, &command, fails ? kStatusUnableToProcess : kStatusSuccess, 0,
                           fails ? 0 : uint16_t(movePending_), fails ? uint16_t(movePending_) : 0))
        return;
    } else {
      return;
    }
  }
}
