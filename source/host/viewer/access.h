// Who may talk to the viewer's server: a page of the server's own origin
// that knows the session's random token. The server listens on 127.0.0.1
// only; the Host check keeps other sites' pages from reaching it through a
// name that resolves to 127.0.0.1, and the Origin check refuses requests that
// other origins' pages send.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kurvo::viewer {

// 128 random bits as 32 hexadecimal digits, from the system's random source.
std::string newToken();

// Equal strings, compared in time independent of where they differ.
bool sameSecret(const std::string& a, const std::string& b) noexcept;

// `path` made absolute, with every link and "." or ".." resolved as far as
// the path exists (empty when that fails).
std::filesystem::path resolvedPath(const std::filesystem::path& path);

// Whether `path`, with every link and "." or ".." resolved as far as the
// path exists, lies in `folder` (itself resolved) or is that folder.
bool liesInside(const std::filesystem::path& path, const std::filesystem::path& folder);

// The regular file `name` below `root` as it lies on disk (links followed);
// empty when `name` is absolute, the file is missing or not a regular file,
// or it resolves to somewhere outside `root`.
std::filesystem::path fileInside(const std::filesystem::path& root, const std::string& name);

// Where a save or export may write `target` (relative: beside `base`):
// the resolved path when it lies in one of `folders`, else empty and
// `problem` says why.
std::filesystem::path writableTarget(const std::filesystem::path& target, const std::filesystem::path& base,
                                     const std::vector<std::filesystem::path>& folders, std::string& problem);

struct AccessRequest {
  std::string host;    // the Host header
  std::string origin;  // the Origin header; empty when the browser sent none
  std::string token;   // from the page's query (the page) or the X-Kurvo-Token header (calls)
};

class Access {
 public:
  Access(std::string token, int32_t port) : token_(std::move(token)), port_(port) {}
  const std::string& token() const noexcept { return token_; }

  // Empty when allowed, else why not (for the 403 answer).
  std::string refusal(const AccessRequest& request) const;

 private:
  bool ownHost(const std::string& host) const;
  std::string token_;
  int32_t port_;
};

}  // namespace kurvo::viewer
