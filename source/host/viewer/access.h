// Who may talk to the viewer's server: a page of the server's own origin
// that knows the session's random token. The server listens on 127.0.0.1
// only; the Host check keeps other sites' pages from reaching it through a
// name that resolves to 127.0.0.1, and the Origin check refuses requests that
// other origins' pages send.
#pragma once

#include <cstdint>
#include <string>

namespace kurvo::viewer {

// 128 random bits as 32 hexadecimal digits, from the system's random source.
std::string newToken();

// Equal strings, compared in time independent of where they differ.
bool sameSecret(const std::string& a, const std::string& b) noexcept;

struct AccessRequest {
  std::string host;    // the Host header
  std::string origin;  // the Origin header; empty when the browser sent none
  std::string token;   // from the query, the X-Kurvo-Token header or the cookie
};

class Access {
 public:
  Access(std::string token, int32_t port) : token_(std::move(token)), port_(port) {}
  const std::string& token() const noexcept { return token_; }
  // The cookie that carries the token for the page's own requests (scripts,
  // styles); named after the port, so two viewers on one machine keep theirs.
  std::string cookieName() const;

  // Empty when allowed, else why not (for the 403 answer).
  std::string refusal(const AccessRequest& request) const;

 private:
  bool ownHost(const std::string& host) const;
  std::string token_;
  int32_t port_;
};

}  // namespace kurvo::viewer
