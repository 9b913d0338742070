#include "access.h"

#include <random>
#include <string_view>

namespace kurvo::viewer {

std::string newToken() {
  std::random_device source;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 4; ++i) {
    uint32_t bits = source();
    for (int d = 0; d < 8; ++d, bits >>= 4) token += kDigits[bits & 15];
  }
  return token;
}

bool sameSecret(const std::string& a, const std::string& b) noexcept {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string Access::cookieName() const { return "kurvo_view_" + std::to_string(port_); }

bool Access::ownHost(const std::string& host) const {
  // Compared piece by piece: GCC 12 warns falsely (-Wrestrict) about the
  // inlined "name" + std::string.
  const std::string port = std::to_string(port_);
  for (const std::string_view name : {std::string_view("127.0.0.1"), std::string_view("localhost")})
    if (host.size() == name.size() + 1 + port.size() && host.starts_with(name) && host[name.size()] == ':' &&
        host.ends_with(port))
      return true;
  return false;
}

std::string Access::refusal(const AccessRequest& request) const {
  if (!ownHost(request.host)) return "unknown host";
  if (!request.origin.empty()) {
    const std::string prefix = "http://";
    if (request.origin.rfind(prefix, 0) != 0 || !ownHost(request.origin.substr(prefix.size())))
      return "requests from other origins are refused";
  }
  if (request.token.empty()) return "no access token: open the address kurvo view printed";
  if (!sameSecret(request.token, token_)) return "wrong access token";
  return {};
}

}  // namespace kurvo::viewer
