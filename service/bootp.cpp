#include "service/bootp.h"

void BootpPacket::makeReply(uint32_t clientAddress, std::string_view bootFile) {
  makeReply(clientAddress, localAddressFor(clientAddress), bootFile);
}

BootpServer::BootpServer() : socket_(makeRef<UdpSocket>()) {
  socket_->setReuseAddress(true);
  socket_->setBroadcast(true);
  socket_->setListener(makeDelegate(this, &BootpServer::onDatagram));
}

BootpServer::~BootpServer() {
  listener_ = nullptr;
  // The socket's delegate points back here; cut it before letting go.
  socket_->setListener(nullptr);
  socket_ = nullptr;
}

bool BootpServer::bind(uint16_t port) { return socket_->bind(port); }

bool BootpServer::send(const BootpPacket& packet, uint32_t address, uint16_t port) {
  return socket_->sendTo(packet.bytes(), packet.length(), address, port);
}

void BootpServer::setListener(EventListener* listener) { listener_ = listener; }

void BootpServer::onDatagram(IMsgEvent* event) {
  auto* udp = static_cast<UdpEvent*>(event);
  BootpPacket packet;
  // Longer than any BOOTP message: dropped whole, never cut to size.
  if (!udp->isError() && !packet.assign(udp->data(), udp->length())) return;
  BootpEvent bootp(udp->isError(), udp->address(), udp->port(), packet);
  if (Ref<EventListener> listener = listener_) listener->onEvent(&bootp);
}
