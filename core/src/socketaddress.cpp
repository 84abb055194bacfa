#include "vlt/socketaddress.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cstdlib>

namespace vlt {

void SocketAddress(int fd, bool peer, std::string& ip, int& port) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  auto* a = reinterpret_cast<sockaddr*>(&addr);
  if ((peer ? ::getpeername(fd, a, &len) : ::getsockname(fd, a, &len)) != 0) return;
  char host[NI_MAXHOST];
  char serv[NI_MAXSERV];
  if (::getnameinfo(a, len, host, sizeof host, serv, sizeof serv,
                    NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
    ip = host;
    port = std::atoi(serv);
  }
}

}  // namespace vlt
