#include "console.h"

#include <cstdio>

namespace kurvo::host {

void Console::print(std::string line) {
  // One print is one line: embedded line breaks would fake further lines.
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  std::lock_guard lock(mutex_);
  if (!quiet_) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  lines_.push_back(std::move(line));
}

std::vector<std::string> Console::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

void Console::clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

void Console::setQuiet(bool quiet) {
  std::lock_guard lock(mutex_);
  quiet_ = quiet;
}

}  // namespace kurvo::host
