#pragma once
// The numeric address of either end of a connected socket, as the client and the service log
// and check it.

#include <string>

namespace vlt {

// The peer's end (peer) or this end of socket `fd`: "127.0.0.1" or "::1" and the port. Leaves
// both as they were when the socket has no such address.
void SocketAddress(int fd, bool peer, std::string& ip, int& port);

}  // namespace vlt
