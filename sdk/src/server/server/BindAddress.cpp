#include "server/BindAddress.h"

#include "server/SocketAddresses.h"

#include <cctype>
#include <stdexcept>

#include "common/PrintableText.h"

namespace CamSdk {
namespace server {

namespace {

constexpr std::size_t kMaxLocalSocketPath = 107;

[[noreturn]] void refuse(const std::string& text, const std::string& why) {
  throw std::invalid_argument("endpoint \"" + detail::printable(text) + "\": " + why);
}

bool isIpv4(const std::string& host) {
  in_addr address{};
  return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

bool isIpv6(const std::string& host) {
  in6_addr address{};
  return inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

// Only the loopback address itself: other 127.x addresses are not what people mean by "this
// machine only", and are kept behind keys as any other address is.
bool isLoopback(const std::string& address) {
  if (isIpv4(address)) return address == "127.0.0.1";
  in6_addr parsed{};
  if (inet_pton(AF_INET6, address.c_str(), &parsed) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&parsed)) return true;
  return IN6_IS_ADDR_V4MAPPED(&parsed) && parsed.s6_addr[12] == 127 && parsed.s6_addr[13] == 0 &&
         parsed.s6_addr[14] == 0 && parsed.s6_addr[15] == 1;
}

bool isName(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') return false;
  }
  return true;
}

std::string parsePort(const std::string& text, const std::string& port) {
  if (port == "*") return port;
  if (port.empty() || port.size() > 5) refuse(text, "the port must be 1 to 65535, or *");
  for (char c : port) {
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      refuse(text, "the port must be 1 to 65535, or *");
    }
  }
  const int number = std::stoi(port);
  if (number < 1 || number > 65535) refuse(text, "the port must be 1 to 65535, or *");
  return std::to_string(number);
}

BindAddress parseTcp(const std::string& text, const std::string& rest, const Resolver& resolve) {
  const auto colon = rest.rfind(':');
  if (colon == std::string::npos) refuse(text, "a TCP endpoint needs HOST:PORT");
  std::string host = rest.substr(0, colon);
  const std::string port = parsePort(text, rest.substr(colon + 1));
  BindAddress bound;
  if (host == "*") {
    bound.endpoint = "tcp://*:" + port;
    return bound;
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
    if (!isIpv6(host)) refuse(text, "[" + detail::printable(host) + "] is not an IPv6 address");
    bound.ipv6 = true;
    bound.local = isLoopback(host);
    bound.endpoint = "tcp://[" + host + "]:" + port;
    return bound;
  }
  if (isIpv4(host)) {
    bound.local = isLoopback(host);
    bound.endpoint = "tcp://" + host + ":" + port;
    return bound;
  }
  if (host.find(':') != std::string::npos) {
    refuse(text, "an IPv6 address goes in brackets: tcp://[ADDRESS]:PORT");
  }
  if (!isName(host))
    refuse(text, "\"" + detail::printable(host) + "\" is neither an address nor a host name");
  const std::vector<std::string> addresses = resolve(host);
  if (addresses.empty()) refuse(text, "the name " + host + " does not resolve to an address");
  bound.local = true;
  for (const std::string& address : addresses) bound.local = bound.local && isLoopback(address);
  const std::string& first = addresses.front();
  bound.ipv6 = isIpv6(first);
  bound.endpoint = bound.ipv6 ? "tcp://[" + first + "]:" + port : "tcp://" + first + ":" + port;
  return bound;
}

}  // namespace

std::vector<std::string> resolveWithSystem(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return {};
  std::vector<std::string> addresses;
  // IPv4 first: the service binds the first address, and IPv4 needs no socket option.
  for (int family : {AF_INET, AF_INET6}) {
    for (addrinfo* each = found; each != nullptr; each = each->ai_next) {
      if (each->ai_family != family) continue;
      char text[INET6_ADDRSTRLEN] = {};
      const void* raw =
          family == AF_INET
              ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(each->ai_addr)->sin_addr)
              : static_cast<const void*>(
                    &reinterpret_cast<sockaddr_in6*>(each->ai_addr)->sin6_addr);
      if (inet_ntop(family, raw, text, sizeof text) == nullptr) continue;
      bool seen = false;
      for (const std::string& address : addresses) seen = seen || address == text;
      if (!seen) addresses.emplace_back(text);
    }
  }
  freeaddrinfo(found);
  return addresses;
}

BindAddress parseBindAddress(const std::string& text, const Resolver& resolve) {
  for (char c : text) {
    if (c == ';' || c == ',') refuse(text, "one endpoint per option, and no source address");
    if (std::isspace(static_cast<unsigned char>(c)) ||
        std::iscntrl(static_cast<unsigned char>(c))) {
      refuse(text, "spaces and control characters are not allowed");
    }
  }
  const auto scheme = text.find("://");
  if (scheme == std::string::npos) refuse(text, "not TRANSPORT://ADDRESS");
  const std::string transport = text.substr(0, scheme);
  const std::string rest = text.substr(scheme + 3);
  if (transport == "tcp") return parseTcp(text, rest, resolve);
  BindAddress bound;
  bound.endpoint = text;
  bound.local = true;
  if (transport == "ipc") {
    if (rest.empty() || rest.front() != '/') refuse(text, "an ipc path must be absolute");
    if (rest.size() > kMaxLocalSocketPath) {
      refuse(text, "an ipc path may be at most " + std::to_string(kMaxLocalSocketPath) + " bytes");
    }
    return bound;
  }
  if (transport == "inproc") {
    if (rest.empty()) refuse(text, "an inproc endpoint needs a name");
    return bound;
  }
  refuse(text, "the transport must be ipc, tcp or inproc");
}

}  // namespace server
}  // namespace CamSdk
