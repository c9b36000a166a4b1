// A yardstick for the TFTP benchmark, not part of the tool: the same lock-step
// sending with blocking Winsock calls and no message loop, so the benchmark can
// split Wine's cost between its socket calls and the main loop's path.
//
//   tftp_blocking_baseline.exe --root Z:\tmp\files [--port 69] [--lifetime-ms 600000]
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "service/tftp_packet.h"

namespace {

bool readFile(const std::string& path, std::string* data) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data->append(buffer, n);
  std::fclose(f);
  return true;
}

void setTimeout(SOCKET s, DWORD ms) {
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

// One transfer, lock step, 200 ms retransmission, at most 24 retransmissions.
void serve(const sockaddr_in& client, bool tsize, const std::string& data) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local);
  connect(s, reinterpret_cast<const sockaddr*>(&client), sizeof client);
  setTimeout(s, 200);
  uint8_t packet[tftp::kMaxPacket];
  size_t length = tsize ? tftp::writeOptionAck(packet, data.size()) : 0;
  uint32_t block = 0;
  size_t offset = 0;
  bool shortSent = false;
  auto next = [&] {
    size_t n = std::min(tftp::kBlockSize, data.size() - offset);
    length = tftp::writeData(packet, ++block, reinterpret_cast<const uint8_t*>(data.data()) + offset, n);
    offset += n;
    shortSent = n < tftp::kBlockSize;
  };
  if (!tsize) next();
  for (int retries = 0; retries <= 24;) {
    send(s, reinterpret_cast<const char*>(packet), int(length), 0);
    uint8_t ack[16];
    int n = recv(s, reinterpret_cast<char*>(ack), sizeof ack, 0);
    if (n < 0) {
      ++retries;
      continue;
    }
    if (tftp::classifyAck(ack, size_t(n), block) != tftp::Ack::Current) continue;
    if (offset == data.size()) {
      if (!shortSent) {
        length = tftp::writeData(packet, block + 1, nullptr, 0);
        send(s, reinterpret_cast<const char*>(packet), int(length), 0);
      }
      break;
    }
    next();
  }
  closesocket(s);
}

}  // namespace

int main(int argc, char** argv) {
  std::string root;
  int port = 69;
  DWORD lifetime = 600000;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    if (key == "--root") root = argv[i + 1];
    if (key == "--port") port = std::atoi(argv[i + 1]);
    if (key == "--lifetime-ms") lifetime = DWORD(std::atol(argv[i + 1]));
  }
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET listener = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(uint16_t(port));
  if (bind(listener, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) return 1;
  setTimeout(listener, 1000);
  std::printf("baseline: ready\n");
  std::fflush(stdout);
  for (DWORD start = GetTickCount(); GetTickCount() - start < lifetime;) {
    uint8_t buffer[4096];
    sockaddr_in from{};
    int fromLength = sizeof from;
    int n = recvfrom(listener, reinterpret_cast<char*>(buffer), sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                     &fromLength);
    tftp::ReadRequest request;
    if (n <= 0 || !tftp::parseReadRequest(buffer, size_t(n), &request)) continue;
    std::string data;
    if (request.fileName.find_first_of("/\\:") != std::string::npos || !readFile(root + "\\" + request.fileName, &data))
      continue;
    serve(from, request.tsize, data);
  }
  closesocket(listener);
  WSACleanup();
  return 0;
}
