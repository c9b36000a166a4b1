#include "service/provisioning.h"

#include <winsock2.h>

#include "base/log.h"
#include "base/timer.h"
#include "common/convertor.h"

namespace {

uint32_t bigEndian32(const std::string& bytes) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}

}  // namespace

ProvisioningService::ProvisioningService(Settings* settings, MessageTable* messages, ServicePorts ports)
    : noRequestListener_(makeDelegate(this, &ProvisioningService::onNoTftpRequest)),
      transferListener_(makeDelegate(this, &ProvisioningService::onTransferDone)),
      settings_(settings),
      messages_(messages) {
  tftp_ = makeRef<TftpServer>(ports.tftp);
  tftp_->setListener(makeDelegate(this, &ProvisioningService::onTftpRequest));
  bootp_ = makeRef<BootpServer>();
  bootp_->bind(ports.bootp);
  bootp_->setListener(makeDelegate(this, &ProvisioningService::onBootpRequest));
}

ProvisioningService::~ProvisioningService() {
  removeTimerListener(noRequestListener_.get(), nullptr);
  // The servers and the transfer hold delegates that point back here.
  if (bootp_) bootp_->setListener(nullptr);
  if (tftp_) tftp_->setListener(nullptr);
  transfer_ = nullptr;
}

void ProvisioningService::endExchange() {
  removeTimerListener(noRequestListener_.get(), nullptr);
  transfer_ = nullptr;
  waiting_ = false;
}

void ProvisioningService::onBootpRequest(IMsgEvent* event) {
  auto* request = static_cast<BootpEvent*>(event);
  if (!settings_->active || request->isError()) return;
  BootpPacket* packet = request->packet();
  if (!packet->isValidRequest()) return;

  std::string vendorClass = packet->optionString(60);
  nv::log << "bootp request type: " << vendorClass << nv::endl;
  if (vendorClass != kVendorClass) return;
  if (flashData_.empty()) {
    nv::log << "no flash data, ignore" << nv::endl;
    return;
  }

  std::string mac = formatMac(packet->chaddr, 6);
  std::string model = "QV" + packet->optionString(128);
  std::string prefix = mac + " -- " + model + ": ";
  // Another device is being served; it is not told, it will ask again.
  if (waiting_ && prefix != devicePrefix_) return;
  devicePrefix_ = prefix;

  std::string space = packet->option(129);
  if (space.size() != 4) {
    messages_->addMessage(prefix + "no flash space info in BOOTP request, ignoring");
    return;
  }
  uint32_t freeSpace = bigEndian32(space);
  nv::log << "bootp " << mac << " " << model << ", space: " << freeSpace << nv::endl;
  if (freeSpace < flashData_.size()) {
    messages_->addMessage(prefix + "not enough flash space, ignoring");
    return;
  }

  packet->makeReply(settings_->clientIP, kBootFile);
  if (!bootp_->send(*packet, INADDR_BROADCAST, kBootpClientPort)) {
    nv::log << "bootp response send failed" << nv::endl;
    return;
  }
  // A device asking again during its exchange is answered again, but the
  // wait for its read request runs from the first answer.
  if (!waiting_) addTimerListener(kRequestWaitMs, noRequestListener_.get(), nullptr);
  waiting_ = true;
}

void ProvisioningService::onTftpRequest(IMsgEvent* event) {
  auto* request = static_cast<TftpRequestEvent*>(event);
  if (!settings_->active || !waiting_ || request->address() != settings_->clientIP || transfer_) return;
  removeTimerListener(noRequestListener_.get(), nullptr);
  if (request->isError()) return;
  nv::log << "tftp request " << formatIpAddress(request->address()) << " file: " << request->fileName() << " "
          << (request->tsize() ? "1" : "0") << nv::endl;
  // Any file name gets the flash data: devices ask under names of their own.
  transfer_ = makeRef<TftpTransfer>(request->address(), uint16_t(request->port()), request->tsize(),
                                    std::string(flashData_.begin(), flashData_.end()), transferListener_.get(),
                                    kTransferTimeoutMs);
}

void ProvisioningService::onTransferDone(IMsgEvent* event) {
  int status = static_cast<TftpDoneEvent*>(event)->status();
  waiting_ = false;
  transfer_ = nullptr;
  if (status != 0) {
    nv::log << "tftp transfer failed: " << status << nv::endl;
    messages_->addMessage(devicePrefix_ + "TFTP transfer failed");
    return;
  }
  nv::log << "tftp transfer ok" << nv::endl;
  messages_->addMessage(devicePrefix_ + "Tamselged");
}

void ProvisioningService::onNoTftpRequest(IMsgEvent*) {
  waiting_ = false;
  transfer_ = nullptr;
  messages_->addMessage(devicePrefix_ + "no TFTP request");
}
