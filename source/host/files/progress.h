// A progress bar for long work, drawn on stderr.
//
// It shows only when stderr is a terminal and the tool is not quiet; in every
// other case (pipes, logs, tests) it writes nothing at all, so output stays
// clean for scripts. Redraws are limited to a few per second and finish()
// completes the line, so later output starts on a fresh one.
//
//   ProgressBar bar("deforming", points.size(), quiet);
//   for (...) { ...; bar.advance(); }
//   bar.finish();
//
// advance() and set() may be called from several threads.
//
// A batch job has no terminal, yet its log should show how far it got: with
// log_lines(true) a bar whose stderr is not a terminal writes its line as a
// line of its own every few seconds and at the end, instead of nothing.
#ifndef KURVO_MEDIA_PROGRESS_H
#define KURVO_MEDIA_PROGRESS_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace kurvo::media {

class ProgressBar {
 public:
  // total 0: the amount of work is unknown; the count is shown without a bar.
  ProgressBar(std::string label, uint64_t total, bool quiet);
  // Draws to `out` when `enabled`, whatever `out` is (for tests and callers
  // that decided themselves).
  ProgressBar(std::string label, uint64_t total, std::FILE* out, bool enabled);
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  ~ProgressBar();  // finishes the line if finish() was not called

  void advance(uint64_t amount = 1);
  void set(uint64_t done);
  // Draws the final state and ends the line. Later calls do nothing.
  void finish();

  bool enabled() const { return out_ != nullptr; }

  // For the whole process: bars created afterwards log lines when stderr is
  // not a terminal (quiet bars still show nothing).
  static void log_lines(bool on);
  // The text of one redraw, without the carriage return (exposed for tests).
  static std::string format_line(const std::string& label, uint64_t done, uint64_t total, int bar_width = 30);

 private:
  void maybe_draw(bool force);

  std::string label_;
  uint64_t total_;
  std::FILE* out_;  // null: disabled
  std::atomic<uint64_t> done_{0};
  std::mutex draw_mutex_;
  std::chrono::steady_clock::time_point last_draw_{};
  size_t last_length_ = 0;
  bool finished_ = false;
  bool log_ = false;  // whole lines, seldom (stderr is a file)
};

}  // namespace kurvo::media

#endif
