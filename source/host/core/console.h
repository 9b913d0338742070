// The host console: one line per print, kept for inspection and echoed to
// stdout unless quiet.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace kurvo::host {

class Console {
 public:
  void print(std::string line);
  std::vector<std::string> lines() const;
  void clear();
  void setQuiet(bool quiet);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  bool quiet_ = false;
};

}  // namespace kurvo::host
