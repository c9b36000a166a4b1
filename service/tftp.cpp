#include "service/tftp.h"

#include <algorithm>
#include <cstdlib>

#include "base/log.h"

namespace {

// Option names and values come straight off the wire; keep them from
// starting lines of their own in the log.
std::string printable(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
  return out;
}

}  // namespace

// -- TftpServer ----------------------------------------------------------------

TftpServer::TftpServer(uint16_t port) : socket_(makeRef<UdpSocket>()) {
  socket_->setReuseAddress(true);
  socket_->bind(port);
  socket_->setListener(makeDelegate(this, &TftpServer::onRequest));
}

TftpServer::~TftpServer() {
  listener_ = nullptr;
  // The socket's delegate points back here; cut it before letting go.
  socket_->setListener(nullptr);
  socket_ = nullptr;
}

void TftpServer::setListener(EventListener* listener) { listener_ = listener; }

void TftpServer::onRequest(IMsgEvent* event) {
  auto* udp = static_cast<UdpEvent*>(event);
  if (udp->isError()) return;
  tftp::ReadRequest request;
  if (!tftp::parseReadRequest(udp->data(), udp->length(), &request)) return;
  for (const tftp::Option& option : request.others)
    nv::log << "unkn: " << printable(option.name) << ": " << printable(option.value) << nv::endl;
  TftpRequestEvent requested(udp->address(), udp->port(), std::move(request.fileName), request.tsize);
  if (Ref<EventListener> listener = listener_) listener->onEvent(&requested);
}

// -- TftpTransfer --------------------------------------------------------------

TftpTransfer::TftpTransfer(uint32_t address, uint16_t port, bool tsize, const std::string& data,
                           EventListener* done, unsigned timeoutMs)
    : timerListener_(makeDelegate(this, &TftpTransfer::onRetransmit)), done_(done), tsize_(tsize), data_(data) {
  bindRandomPort(address, port);
  socket_->setListener(makeDelegate(this, &TftpTransfer::onAck));
  overallTimer_ = addTimerListener(timeoutMs, makeDelegate(this, &TftpTransfer::onTimeout), nullptr);
  if (tsize_)
    sendOptionAck();
  else
    sendNextBlock();
}

TftpTransfer::~TftpTransfer() {
  if (retransmitTimer_ != TimerManager::kNoTimer) removeTimer(retransmitTimer_);
  if (overallTimer_ != TimerManager::kNoTimer) removeTimer(overallTimer_);
  data_.clear();
  socket_->setListener(nullptr);
  socket_ = nullptr;
  done_ = nullptr;
  timerListener_ = nullptr;
}

// The port drawn may be taken (another transfer, another program). Draw again
// a few times before leaving the transfer to fail through its timers.
void TftpTransfer::bindRandomPort(uint32_t address, uint16_t port) {
  for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
    socket_ = makeRef<UdpSocket>();
    if (!socket_->isValid()) return;
    if (socket_->bind(uint16_t(std::rand() | 0x8000))) {
      socket_->connect(address, port);
      return;
    }
  }
}

void TftpTransfer::sendPacket() {
  if (retransmitTimer_ != TimerManager::kNoTimer) removeTimer(retransmitTimer_);
  retransmitTimer_ = addTimerListener(kRetransmitMs, timerListener_.get(), nullptr);
  // A lost send is covered by the retransmission timer.
  socket_->send(packet_, packetLength_);
}

void TftpTransfer::sendNextBlock() {
  size_t length = std::min(tftp::kBlockSize, data_.size() - offset_);
  ++block_;
  packetLength_ = tftp::writeData(packet_, block_, reinterpret_cast<const uint8_t*>(data_.data()) + offset_, length);
  offset_ += length;
  if (length < tftp::kBlockSize) shortBlockSent_ = true;
  sendPacket();
}

void TftpTransfer::sendOptionAck() {
  packetLength_ = tftp::writeOptionAck(packet_, data_.size());
  sendPacket();
}

// A client learns that the data has ended only from a block shorter than 512
// bytes. When the data filled its last block exactly (or there was none after
// an OACK), send that empty block once; nothing waits for its acknowledgement.
void TftpTransfer::sendTerminator() {
  uint8_t packet[tftp::kHeaderSize];
  size_t length = tftp::writeData(packet, block_ + 1, nullptr, 0);
  socket_->send(packet, length);
}

void TftpTransfer::finish(int status) {
  finished_ = true;
  if (retransmitTimer_ != TimerManager::kNoTimer) removeTimer(retransmitTimer_);
  retransmitTimer_ = TimerManager::kNoTimer;
  if (overallTimer_ != TimerManager::kNoTimer) removeTimer(overallTimer_);
  overallTimer_ = TimerManager::kNoTimer;
  if (Ref<EventListener> done = done_) {
    TftpDoneEvent event(status);
    done->onEvent(&event);
  }
}

void TftpTransfer::onAck(IMsgEvent* event) {
  // The owner may release us from inside finish().
  Ref<TftpTransfer> keep(this);
  // Stragglers after the end (a repeated last ACK) must not report twice.
  if (finished_) return;
  auto* udp = static_cast<UdpEvent*>(event);
  tftp::Ack ack = udp->isError() ? tftp::Ack::Bad : tftp::classifyAck(udp->data(), udp->length(), block_);
  switch (ack) {
    case tftp::Ack::Current:
      if (offset_ == data_.size()) {
        if (!shortBlockSent_) sendTerminator();
        nv::log << "tftp transfer done" << nv::endl;
        finish(TftpDoneEvent::kDone);
      } else {
        sendNextBlock();
      }
      break;
    case tftp::Ack::Previous:
      sendPacket();
      break;
    case tftp::Ack::Bad:
      nv::log << "bad ack" << nv::endl;
      break;
  }
}

void TftpTransfer::onRetransmit(IMsgEvent*) {
  Ref<TftpTransfer> keep(this);
  retransmitTimer_ = TimerManager::kNoTimer;
  if (++retries_ <= kMaxRetries) {
    sendPacket();
    return;
  }
  nv::log << "too many retires" << nv::endl;
  finish(TftpDoneEvent::kFailed);
}

void TftpTransfer::onTimeout(IMsgEvent*) {
  Ref<TftpTransfer> keep(this);
  overallTimer_ = TimerManager::kNoTimer;
  nv::log << "timeout" << nv::endl;
  finish(TftpDoneEvent::kFailed);
}
