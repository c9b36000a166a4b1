#pragma once
// The TFTP side of provisioning: TftpServer hears read requests on port 69 and
// hands each to its listener; a TftpTransfer then sends one buffer to one
// client from a port of its own, in lock step, and reports how it ended.
//
//   Ref<TftpServer> server = makeRef<TftpServer>();
//   server->setListener(makeDelegate(this, &Service::onTftpRequest));
//   ...in onTftpRequest:
//   transfer = makeRef<TftpTransfer>(rq->address(), rq->port(), rq->tsize(), data,
//                                    makeDelegate(this, &Service::onTransferDone), 10000);
//
// The owner releases the transfer when its TftpDoneEvent arrives.

#include <cstdint>
#include <string>

#include "base/event.h"
#include "base/timer.h"
#include "service/tftp_packet.h"
#include "service/udp.h"

class TftpRequestEvent : public IMsgEvent {
public:
  TftpRequestEvent(uint32_t address, uint32_t port, std::string fileName, bool tsize)
      : address_(address), port_(port), fileName_(std::move(fileName)), tsize_(tsize) {}
  virtual int isError() const { return error_; }
  virtual uint32_t address() const { return address_; }
  virtual uint32_t port() const { return port_; }
  virtual std::string fileName() const { return fileName_; }
  virtual bool tsize() const { return tsize_; }

private:
  int error_ = 0;  // a request never carries an error
  uint32_t address_;  // network order
  uint32_t port_;     // host order
  std::string fileName_;
  bool tsize_;
};

class TftpDoneEvent : public IMsgEvent {
public:
  static constexpr int kDone = 0;
  static constexpr int kFailed = 1;
  explicit TftpDoneEvent(int status) : status_(status) {}
  virtual int status() const { return status_; }

private:
  int status_;
};

class TftpServer : public RefCounted<> {
public:
  static constexpr uint16_t kPort = 69;
  // Binds the port at once; a failed bind is logged by the socket.
  explicit TftpServer(uint16_t port = kPort);
  ~TftpServer() override;
  virtual void setListener(EventListener* listener);

private:
  void onRequest(IMsgEvent* event);

  Ref<UdpSocket> socket_;
  Ref<EventListener> listener_;
};

class TftpTransfer : public RefCounted<> {
public:
  static constexpr unsigned kRetransmitMs = 200;
  static constexpr uint32_t kMaxRetries = 24;  // per transfer, never reset
  static constexpr int kPortAttempts = 16;

  // Starts sending at once: an OACK first when tsize was asked, else block 1.
  TftpTransfer(uint32_t address, uint16_t port, bool tsize, const std::string& data, EventListener* done,
               unsigned timeoutMs);
  ~TftpTransfer() override;

  // For tests: the block last sent and the retransmissions made so far.
  uint32_t blockNumber() const { return block_; }
  uint32_t retries() const { return retries_; }

private:
  void bindRandomPort(uint32_t address, uint16_t port);
  void sendPacket();
  void sendNextBlock();
  void sendOptionAck();
  void sendTerminator();
  void finish(int status);
  void onAck(IMsgEvent* event);
  void onRetransmit(IMsgEvent* event);
  void onTimeout(IMsgEvent* event);

  unsigned retransmitTimer_ = TimerManager::kNoTimer;
  unsigned overallTimer_ = TimerManager::kNoTimer;
  Ref<EventListener> timerListener_;
  Ref<EventListener> done_;
  Ref<UdpSocket> socket_;
  uint32_t block_ = 0;
  uint8_t packet_[tftp::kMaxPacket];
  size_t packetLength_ = 0;
  bool tsize_;
  std::string data_;
  size_t offset_ = 0;
  uint32_t retries_ = 0;
  bool shortBlockSent_ = false;
  bool finished_ = false;
};
