#pragma once
// The provisioning service: answers a booting device's BOOTP request with the
// Boot Client Address and a boot file name, waits for its TFTP read request
// and sends it the flash data, one device at a time. Each device's outcome is
// one line in the message log, prefixed with the device's MAC and model.
//
//   Ref<ProvisioningService> service = makeRef<ProvisioningService>(settings, messages);
//   service->setFlashData(flashData(path));
//   ...settings->active = true;                  // devices are answered
//   service->endExchange(); settings->active = false;
//
// Everything runs on the GUI thread through the main loop.

#include <cstdint>
#include <string>

#include "app/messagelog.h"
#include "app/settings.h"
#include "service/bootp.h"
#include "service/stream.h"
#include "service/tftp.h"

// Where the servers listen; tests move them off the well-known ports.
struct ServicePorts {
  uint16_t bootp = 67;
  uint16_t tftp = TftpServer::kPort;
};

class ProvisioningService : public RefCounted<> {
public:
  static constexpr uint16_t kBootpPort = 67;
  static constexpr uint16_t kBootpClientPort = 68;
  static constexpr unsigned kRequestWaitMs = 10000;
  static constexpr unsigned kTransferTimeoutMs = 10000;
  static constexpr char kBootFile[] = "tamselucis";
  static constexpr char kVendorClass[] = "Flashboot";

  // Binds BOOTP to 67 and TFTP to 69 (tests pass ports of their own); a
  // failed bind is only logged.
  ProvisioningService(Settings* settings, MessageTable* messages, ServicePorts ports = {});
  ~ProvisioningService() override;

  void setFlashData(Bytes data) { flashData_ = std::move(data); }
  const Bytes& flashData() const { return flashData_; }

  // Ends the exchange in progress without a message: the wait is dropped and
  // a transfer stops. Called when the service is switched off.
  void endExchange();

  bool isWaiting() const { return waiting_; }
  const std::string& devicePrefix() const { return devicePrefix_; }

private:
  void onBootpRequest(IMsgEvent* event);
  void onTftpRequest(IMsgEvent* event);
  void onTransferDone(IMsgEvent* event);
  void onNoTftpRequest(IMsgEvent* event);

  Ref<EventListener> noRequestListener_;
  Ref<EventListener> transferListener_;
  Ref<Settings> settings_;
  Ref<MessageTable> messages_;
  Bytes flashData_;
  bool waiting_ = false;
  std::string devicePrefix_;
  Ref<BootpServer> bootp_;
  Ref<TftpServer> tftp_;
  Ref<TftpTransfer> transfer_;
};
