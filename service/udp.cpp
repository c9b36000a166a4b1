#include "service/udp.h"

#include <iphlpapi.h>

#include "base/log.h"
#include "gui/nullwindow.h"

namespace {

sockaddr_in ipv4Address(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = address;
  return sa;
}

}  // namespace

UdpSocket::UdpSocket() {
  NullWindow* window = getNullWindow();
  if (window) message_ = window->allocateMessage(makeDelegate(this, &UdpSocket::onNotify));
  if (message_ == -1) return;
  socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (socket_ == INVALID_SOCKET) {
    nv::log << "UDP: socket: " << WSAGetLastError() << nv::endl;
    return;
  }
  WSAAsyncSelect(socket_, window->getHandle(), UINT(message_), FD_READ);
}

UdpSocket::~UdpSocket() {
  closeSocket();
  if (NullWindow* window = getNullWindow()) window->unbindMessage(message_);
}

void UdpSocket::closeSocket() {
  if (socket_ == INVALID_SOCKET) return;
  if (NullWindow* window = getNullWindow()) WSAAsyncSelect(socket_, window->getHandle(), 0, 0);
  closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

bool UdpSocket::bind(uint16_t port) {
  sockaddr_in sa = ipv4Address(INADDR_ANY, port);
  if (::bind(socket_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return true;
  nv::log << "UDP: bind: " << WSAGetLastError() << nv::endl;
  closeSocket();
  return false;
}

bool UdpSocket::connect(uint32_t address, uint16_t port) {
  sockaddr_in sa = ipv4Address(address, port);
  if (::connect(socket_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return true;
  closeSocket();
  return false;
}

bool UdpSocket::send(const void* data, size_t length) {
  int sent = ::send(socket_, static_cast<const char*>(data), int(length), 0);
  return sent >= 0 && size_t(sent) >= length;
}

bool UdpSocket::sendTo(const void* data, size_t length, uint32_t address, uint16_t port) {
  sockaddr_in sa = ipv4Address(address, port);
  int sent = ::sendto(socket_, static_cast<const char*>(data), int(length), 0, reinterpret_cast<sockaddr*>(&sa),
                      sizeof sa);
  return sent >= 0 && size_t(sent) >= length;
}

bool UdpSocket::setFlag(int option, bool on) {
  int value = on ? 1 : 0;
  return setsockopt(socket_, SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

bool UdpSocket::setReuseAddress(bool on) { return setFlag(SO_REUSEADDR, on); }
bool UdpSocket::setBroadcast(bool on) { return setFlag(SO_BROADCAST, on); }

void UdpSocket::setListener(EventListener* listener) { listener_ = listener; }

void UdpSocket::onNotify(IMsgEvent* event) {
  auto* msg = static_cast<MessageEvent*>(event);
  // Hold ourselves and the listener: a listener may release the socket.
  Ref<UdpSocket> self(this);
  unsigned error = WSAGETSELECTERROR(msg->lParam);
  if (error != 0) {
    nv::log << "UDP: recv problem: " << error << nv::endl;
  } else if (socket_ != INVALID_SOCKET) {
    uint8_t buffer[kReceiveBufferSize];
    sockaddr_in from{};
    int fromLength = sizeof from;
    int n = recvfrom(socket_, reinterpret_cast<char*>(buffer), sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                     &fromLength);
    if (n > 0) {
      if (Ref<EventListener> listener = listener_) {
        UdpEvent received(false, uint32_t(n), buffer, from.sin_addr.s_addr, ntohs(from.sin_port));
        listener->onEvent(&received);
      }
      return;
    }
  }
  if (Ref<EventListener> listener = listener_) {
    UdpEvent failed(true, 0, nullptr, 0, 0);
    listener->onEvent(&failed);
  }
}

uint32_t localAddressFor(uint32_t peer) {
  alignas(MIB_IPADDRTABLE) uint8_t buffer[4096];
  auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer);
  ULONG size = sizeof buffer;
  if (GetIpAddrTable(table, &size, FALSE) != NO_ERROR) return 0;
  uint32_t answer = table->dwNumEntries > 0 ? table->table[0].dwAddr : 0;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_IPADDRROW& row = table->table[i];
    if (row.dwAddr != 0 && (peer == 0 || (peer & row.dwMask) == (row.dwAddr & row.dwMask))) return row.dwAddr;
  }
  return answer;
}
