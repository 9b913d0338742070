#include "progress.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <new>

namespace kurvo::media {
namespace {
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr auto kLogInterval = std::chrono::seconds(10);
std::atomic<bool> logLines{false};
std::atomic<bool> fileProgress{false};

// A count in a unit: whole numbers for a unit of 1, one decimal otherwise.
std::string in_unit(uint64_t value, uint64_t per_unit) {
  if (per_unit <= 1) return std::to_string(value);
  const uint64_t tenths = (value * 10 + per_unit / 2) / per_unit;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}
}  // namespace

void ProgressBar::log_lines(bool on) { logLines.store(on); }

ProgressBar::ProgressBar(std::string label, uint64_t total, bool quiet)
    : ProgressBar(std::move(label), total, stderr, !quiet && (::isatty(STDERR_FILENO) == 1 || logLines.load())) {
  log_ = out_ && ::isatty(STDERR_FILENO) != 1;
  // The first line says the work has started.
  if (log_) last_draw_ = std::chrono::steady_clock::now() - kLogInterval;
}

ProgressBar::ProgressBar(std::string label, uint64_t total, std::FILE* out, bool enabled)
    : label_(std::move(label)), total_(total), out_(enabled ? out : nullptr) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::advance(uint64_t amount) {
  // A bar that shows nothing counts nothing: workers of one run would
  // otherwise all write the one counter.
  if (!out_) return;
  done_.fetch_add(amount, std::memory_order_relaxed);
  maybe_draw(false);
}

void ProgressBar::set(uint64_t done) {
  done_.store(done, std::memory_order_relaxed);
  if (out_) maybe_draw(false);
}

void ProgressBar::finish() {
  if (!out_) return;
  maybe_draw(true);
  std::lock_guard<std::mutex> lock(draw_mutex_);
  if (finished_) return;
  finished_ = true;
  if (!log_) std::fputc('\n', out_);
  std::fflush(out_);
  if (open_line_) open_line_->store(false);
}

std::string ProgressBar::format_line(const std::string& label, uint64_t done, uint64_t total, int bar_width) {
  return format_line(label, done, total, bar_width, "", 1);
}

void ProgressBar::set_unit(std::string unit, uint64_t per_unit) {
  std::lock_guard<std::mutex> lock(draw_mutex_);
  unit_ = std::move(unit);
  per_unit_ = per_unit == 0 ? 1 : per_unit;
}

std::string ProgressBar::format_line(const std::string& label, uint64_t done, uint64_t total, int bar_width,
                                     const std::string& unit, uint64_t per_unit) {
  std::string line = label;
  const std::string suffix = unit.empty() ? "" : " " + unit;
  if (total == 0) return line + " " + in_unit(done, per_unit) + suffix;
  const uint64_t shown = std::min(done, total);
  const auto filled = static_cast<int>(static_cast<double>(shown) / static_cast<double>(total) * bar_width);
  const auto percent = static_cast<int>(static_cast<double>(shown) * 100.0 / static_cast<double>(total));
  line += " [" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(bar_width - filled), '.') +
          "] " + std::to_string(percent) + "% " + in_unit(shown, per_unit) + "/" + in_unit(total, per_unit) + suffix;
  return line;
}

void ProgressBar::maybe_draw(bool force) {
  // Workers skip a redraw that another thread is doing rather than wait for it.
  std::unique_lock<std::mutex> lock(draw_mutex_, std::defer_lock);
  if (force)
    lock.lock();
  else if (!lock.try_lock())
    return;
  if (finished_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - last_draw_ < (log_ ? std::chrono::steady_clock::duration(kLogInterval) : kRedrawInterval)) return;
  last_draw_ = now;
  const std::string line = format_line(label_, done_.load(std::memory_order_relaxed), total_, 30, unit_, per_unit_);
  if (log_) {
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
    return;
  }
  // Pad over the rest of a longer previous line.
  const size_t pad = last_length_ > line.size() ? last_length_ - line.size() : 0;
  std::fprintf(out_, "\r%s%s", line.c_str(), std::string(pad, ' ').c_str());
  std::fflush(out_);
  last_length_ = line.size();
  if (open_line_) open_line_->store(true);
}

void FileProgress::enable(bool on) { fileProgress.store(on); }
bool FileProgress::enabled_for_process() { return fileProgress.load(); }

FileProgress FileProgress::bytes(std::string label, uint64_t total_bytes, uint64_t points) {
  FileProgress out;
  if (fileProgress.load() && (total_bytes >= kLargeBytes || points >= kLargeCount)) {
    out.bar_ = std::make_unique<ProgressBar>(std::move(label), total_bytes, false);
    if (!out.bar_->enabled()) out.bar_.reset();
  }
  if (out.bar_) out.bar_->set_unit("MB", 1'000'000);
  out.step_ = total_bytes / 500 + 1;
  return out;
}

FileProgress FileProgress::count(std::string label, uint64_t total, std::string unit) {
  FileProgress out;
  if (fileProgress.load() && total >= kLargeCount) {
    out.bar_ = std::make_unique<ProgressBar>(std::move(label), total, false);
    if (!out.bar_->enabled()) out.bar_.reset();
  }
  if (out.bar_) out.bar_->set_unit(std::move(unit), 1);
  out.step_ = total / 500 + 1;
  return out;
}

FileProgress::FileProgress(std::string label, uint64_t total, std::string unit, uint64_t per_unit, std::FILE* out,
                           bool shown)
    : step_(total / 500 + 1) {
  if (!shown) return;
  bar_ = std::make_unique<ProgressBar>(std::move(label), total, out, true);
  bar_->set_unit(std::move(unit), per_unit);
}

FileProgress::~FileProgress() { finish(); }

void FileProgress::report() {
  reported_ = done_;
  bar_->set(done_);
}

void FileProgress::finish() {
  if (!bar_) return;
  report();
  bar_->finish();
  bar_.reset();
}

ChildProgress::ChildProgress(std::string label, uint64_t total_bytes)
    : label_(std::move(label)), total_(total_bytes) {
  // Only a bar drawn in place leaves a line open; one that cannot show
  // needs nothing shared.
  if (fileProgress.load() && total_bytes >= FileProgress::kLargeBytes && ::isatty(STDERR_FILENO) == 1) share();
}

ChildProgress::ChildProgress(std::string label, uint64_t total_bytes, std::FILE* out, bool shown)
    : label_(std::move(label)), total_(total_bytes), out_(out), decided_(true), shown_(shown) {
  if (shown) share();
}

void ChildProgress::share() {
  static_assert(std::atomic<bool>::is_always_lock_free, "a flag shared between processes");
  void* page = ::mmap(nullptr, sizeof(std::atomic<bool>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (page != MAP_FAILED) open_ = new (page) std::atomic<bool>(false);
}

ChildProgress::~ChildProgress() {
  bar_.reset();
  if (open_) ::munmap(open_, sizeof(std::atomic<bool>));
}

FileProgress& ChildProgress::start() {
  if (!bar_) {
    bar_ = std::make_unique<FileProgress>(decided_ ? FileProgress(label_, total_, "MB", 1'000'000, out_, shown_)
                                                   : FileProgress::bytes(label_, total_));
    bar_->share_open_line(open_);
  }
  return *bar_;
}

void ChildProgress::end_left_line() {
  if (!open_ || !open_->exchange(false)) return;
  std::fputc('\n', out_);
  std::fflush(out_);
}

}  // namespace kurvo::media
