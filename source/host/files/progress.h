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

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
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
  // The same with the counts in a unit: "12.5/260.0 MB" for a unit of
  // 1000000 bytes, "4000/120000 points" for a unit of 1.
  static std::string format_line(const std::string& label, uint64_t done, uint64_t total, int bar_width,
                                 const std::string& unit, uint64_t per_unit);

  // Counts are shown in this unit from now on (see format_line).
  void set_unit(std::string unit, uint64_t per_unit);
  // `open` (which may live in memory shared with another process) is true
  // while a drawn line waits for its end, false once finish() ended it.
  void share_open_line(std::atomic<bool>* open) { open_line_ = open; }

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
  std::string unit_;
  uint64_t per_unit_ = 1;
  std::atomic<bool>* open_line_ = nullptr;
};

// The bar of one large file being read or written, in a unit a person reads
// (MB of the file, or points and faces of the mesh).
//
// It shows only when file progress is on for the process (off by default, so
// library use and tests print nothing; the command line turns it on unless
// --quiet), stderr is a terminal (or log lines are on, as for a bar), and the
// work is large: at least kLargeBytes of a file, or kLargeCount points or
// faces. It goes to stderr only, never into the file. add() is cheap when the
// bar does not show, and redraws are few when it does.
class FileProgress {
 public:
  static constexpr uint64_t kLargeBytes = 8'000'000;
  static constexpr uint64_t kLargeCount = 100'000;
  static void enable(bool on);
  static bool enabled_for_process();

  // "reading scan.obj", file size in bytes: shown in MB. Large by its bytes,
  // or by the points it holds where the caller knows them.
  static FileProgress bytes(std::string label, uint64_t total_bytes, uint64_t points = 0);
  // "writing bent.ply", 2000000, "vertices".
  static FileProgress count(std::string label, uint64_t total, std::string unit);
  // For tests and callers that decided themselves: draws to `out` when
  // `shown`, whatever the process setting and the size.
  FileProgress(std::string label, uint64_t total, std::string unit, uint64_t per_unit, std::FILE* out, bool shown);

  FileProgress(FileProgress&&) noexcept = default;
  FileProgress& operator=(FileProgress&&) noexcept = default;
  ~FileProgress();

  void add(uint64_t amount) {
    if (!bar_) return;
    done_ += amount;
    if (done_ - reported_ >= step_) report();
  }
  // Moves the count up to `done` (a count below the present one is left).
  void reach(uint64_t done) {
    if (bar_ && done > done_) add(done - done_);
  }
  // Draws the final count and ends the line (also on destruction).
  void finish();
  bool shown() const { return bar_ != nullptr; }
  void share_open_line(std::atomic<bool>* open) {
    if (bar_) bar_->share_open_line(open);
  }

 private:
  FileProgress() = default;
  void report();

  std::unique_ptr<ProgressBar> bar_;
  uint64_t done_ = 0, reported_ = 0, step_ = 1;
};

// A file's bar fed from several threads at once (the stretches of a file
// read on the task pool): each adds what it has done; whichever thread finds
// the bar free moves it to the count so far, and the others go on without
// waiting. Called a few times per MiB, never per point.
class SharedFileProgress {
 public:
  explicit SharedFileProgress(FileProgress& bar) : bar_(bar) {}
  void add(uint64_t amount) {
    const uint64_t done = done_.fetch_add(amount, std::memory_order_relaxed) + amount;
    if (!bar_.shown() || drawing_.test_and_set(std::memory_order_acquire)) return;
    bar_.reach(std::max(done, done_.load(std::memory_order_relaxed)));
    drawing_.clear(std::memory_order_release);
  }
  uint64_t done() const { return done_.load(std::memory_order_relaxed); }

 private:
  FileProgress& bar_;
  std::atomic<uint64_t> done_{0};
  std::atomic_flag drawing_ = ATOMIC_FLAG_INIT;
};

// The bar of a file that a child process reads (isolation/child_call.h):
// the child shares the terminal and draws the bar, under FileProgress's
// rules; when the child is ended before it could end the line (a limit it
// ran into, a crash), the parent ends it, so that the message which follows
// starts on a line of its own.
//
//   ChildProgress progress("reading scan.ply", size);  // before the child starts
//   // in the child:
//   FileProgress& bar = progress.start();  ...  bar.reach(bytes);  ...  bar.finish();
//   // back in the parent:
//   progress.end_left_line();
class ChildProgress {
 public:
  ChildProgress(std::string label, uint64_t total_bytes);
  // For tests: the child's bar draws to `out` when `shown`, whatever the
  // process setting and the size (as FileProgress's own).
  ChildProgress(std::string label, uint64_t total_bytes, std::FILE* out, bool shown);
  ChildProgress(const ChildProgress&) = delete;
  ChildProgress& operator=(const ChildProgress&) = delete;
  ~ChildProgress();

  // In the child: its bar (one that may show nothing).
  FileProgress& start();
  // In the parent, once the child has ended: ends a line it left open.
  void end_left_line();

 private:
  void share();

  std::string label_;
  uint64_t total_;
  std::FILE* out_ = stderr;
  bool decided_ = false;  // out_ and shown_ given, not the process's rules
  bool shown_ = false;
  std::atomic<bool>* open_ = nullptr;  // shared with the child; null: no bar can show
  std::unique_ptr<FileProgress> bar_;
};

}  // namespace kurvo::media

#endif
