#include "access.h"

#include <iterator>
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

std::filesystem::path resolvedPath(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path out = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
  return error ? std::filesystem::path() : out;
}

bool liesInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
  const std::filesystem::path p = resolvedPath(path), f = resolvedPath(folder);
  if (p.empty() || f.empty()) return false;
  // Component by component: "/a/bc" is not inside "/a/b".
  auto pi = p.begin();
  for (auto fi = f.begin(); fi != f.end(); ++fi, ++pi) {
    if (fi->empty() && std::next(fi) == f.end()) break;  // a trailing separator
    if (pi == p.end() || *pi != *fi) return false;
  }
  return true;
}

std::filesystem::path fileInside(const std::filesystem::path& root, const std::string& name) {
  const std::filesystem::path relative = std::filesystem::u8path(name);
  if (name.empty() || relative.is_absolute() || relative.has_root_name() || relative.has_root_directory())
    return {};
  std::error_code error;
  const std::filesystem::path file = std::filesystem::canonical(root / relative, error);
  if (error || !std::filesystem::is_regular_file(file, error) || !liesInside(file, root)) return {};
  return file;
}

std::filesystem::path writableTarget(const std::filesystem::path& target, const std::filesystem::path& base,
                                     const std::vector<std::filesystem::path>& folders, std::string& problem) {
  const std::filesystem::path file = resolvedPath(target.is_absolute() ? target : base / target);
  for (const std::filesystem::path& folder : folders)
    if (!file.empty() && liesInside(file, folder) && resolvedPath(folder) != file) return file;
  std::string allowed;
  for (const std::filesystem::path& folder : folders)
    allowed += (allowed.empty() ? "" : " or ") + resolvedPath(folder).string();
  problem = target.string() + ": the viewer writes only inside " + allowed +
            " (start it with --save-dir FOLDER to write elsewhere)";
  return {};
}

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
