#include "atomic_file.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "path_text.h"

namespace kurvo::media {
namespace {

// ---- temporaries removed on a fatal signal
//
// A signal handler may only call async-signal-safe functions, so the paths
// live in fixed slots of plain characters rather than in strings.
constexpr int kSlots = 64;
constexpr size_t kSlotPathBytes = 4096;
struct Slot {
  std::atomic<bool> used{false};
  char path[kSlotPathBytes];
};
Slot g_slots[kSlots];

int track(const std::filesystem::path& temp) {
  const std::string& text = temp.native();
  if (text.size() >= kSlotPathBytes) return -1;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!g_slots[i].used.load() && g_slots[i].used.compare_exchange_strong(expected, true)) {
      // Marked used before the path is complete: clear it first, so the
      // handler sees either an empty or a whole path.
      g_slots[i].path[0] = '\0';
      std::memcpy(g_slots[i].path + 1, text.c_str() + 1, text.size());
      std::atomic_signal_fence(std::memory_order_seq_cst);
      g_slots[i].path[0] = text[0];
      return i;
    }
  }
  return -1;  // more temporaries at once than slots: those are not tracked
}

void untrack(int slot) {
  if (slot < 0) return;
  g_slots[slot].path[0] = '\0';
  g_slots[slot].used.store(false);
}

void remove_temporaries_and_end(int signal_number) {
  for (Slot& s : g_slots)
    if (s.used.load() && s.path[0] != '\0') ::unlink(s.path);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// ---- names

// Short, hidden and unique per process and call: the target's own name may
// already be as long as a name can be.
std::filesystem::path temporary_in(const std::filesystem::path& directory) {
  static std::atomic<unsigned> counter{0};
  std::string name = ".kurvo-";
  name += std::to_string(::getpid());
  name += '-';
  name += std::to_string(counter.fetch_add(1));
  name += ".tmp";
  return directory / name;
}

// Where writing `path` should put the bytes: the file a symbolic link leads
// to (replacing the link by a plain file would cut it), else `path` itself.
std::filesystem::path write_target(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(path, ec)) return path;
  std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : target;
}

thread_local OutputBatch* t_batch = nullptr;

std::atomic<RenameCall> g_rename{nullptr};

int rename_path(const char* from, const char* to) {
  const RenameCall call = g_rename.load();
  return call ? call(from, to) : ::rename(from, to);
}

}  // namespace

// ---- StagedFiles

StagedFiles::~StagedFiles() { discard(); }

std::filesystem::path StagedFiles::stage(const std::filesystem::path& final_path) {
  for (const Entry& e : entries_)
    if (e.final_path == final_path) return e.temp_path;
  Entry e;
  e.final_path = final_path;
  e.target = write_target(final_path);
  e.temp_path = temporary_in(e.target.parent_path());
  e.slot = track(e.temp_path);
  entries_.push_back(std::move(e));
  return entries_.back().temp_path;
}

bool StagedFiles::is_staged(const std::filesystem::path& final_path) const {
  for (const Entry& e : entries_)
    if (e.final_path == final_path) return true;
  return false;
}

Status StagedFiles::commit(const std::filesystem::path& primary) {
  if (entries_.empty()) return Status::success();
  size_t last = 0;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (!primary.empty() && entries_[i].final_path == primary) last = i;
  // Side files first, the primary file last.
  std::vector<size_t> order;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (i != last) order.push_back(i);
  order.push_back(last);

  std::error_code ec;
  for (const Entry& e : entries_) {
    if (!std::filesystem::exists(e.temp_path, ec))
      return Status::failure("cannot write " + quoted(e.final_path) + ": the writer produced no file");
  }
  if (t_batch && &t_batch->files_ != this) {
    for (size_t i : order) t_batch->files_.entries_.push_back(std::move(entries_[i]));
    entries_.clear();
    return Status::success();
  }
  return commit_in_order(order);
}

Status StagedFiles::commit_in_order(const std::vector<size_t>& order) {
  // Everything that can be checked is checked before the first rename.
  for (size_t i : order) {
    const Entry& e = entries_[i];
    struct stat st {};
    if (::stat(e.target.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return Status::failure("cannot write " + quoted(e.final_path) + ": it is a directory");
      if (!S_ISREG(st.st_mode))
        return Status::failure("cannot write " + quoted(e.final_path) + ": it exists and is not a regular file");
      // The replacement keeps the permissions of the file it replaces.
      if (::chmod(e.temp_path.c_str(), st.st_mode & 07777) != 0)
        return Status::failure("cannot write " + quoted(e.final_path) + ": " + std::strerror(errno));
    }
  }
  // The previous content of each target stays reachable under a hard link
  // until every rename has worked, so a late failure can put it back.
  struct Undo {
    size_t entry;
    std::filesystem::path backup;  // empty: the target did not exist
    int slot = -1;
  };
  std::vector<Undo> undo;
  const auto roll_back = [&](size_t renamed) {
    for (size_t k = 0; k < renamed; ++k) {
      const Entry& e = entries_[undo[k].entry];
      if (undo[k].backup.empty())
        ::unlink(e.target.c_str());
      else
        rename_path(undo[k].backup.c_str(), e.target.c_str());
    }
  };
  const auto drop_backups = [&] {
    for (Undo& u : undo) {
      if (!u.backup.empty()) ::unlink(u.backup.c_str());
      untrack(u.slot);
    }
  };
  for (size_t i : order) {
    const Entry& e = entries_[i];
    Undo u{i, {}, -1};
    if (::access(e.target.c_str(), F_OK) == 0) {
      u.backup = temporary_in(e.target.parent_path());
      if (::link(e.target.c_str(), u.backup.c_str()) == 0)
        u.slot = track(u.backup);
      else
        u.backup.clear();  // no hard links here: commit without the safety net
    }
    undo.push_back(std::move(u));
  }
  for (size_t k = 0; k < order.size(); ++k) {
    Entry& e = entries_[order[k]];
    if (rename_path(e.temp_path.c_str(), e.target.c_str()) != 0) {
      const int error = errno;
      roll_back(k);
      drop_backups();
      return Status::failure("cannot write " + quoted(e.final_path) + ": " + std::strerror(error));
    }
  }
  // Committed: each backup is now the only name of the old content.
  drop_backups();
  for (Entry& e : entries_) {
    untrack(e.slot);
    e.temp_path.clear();
  }
  entries_.clear();
  return Status::success();
}

void StagedFiles::discard() {
  std::error_code ec;
  for (const Entry& e : entries_) {
    if (!e.temp_path.empty()) std::filesystem::remove(e.temp_path, ec);
    untrack(e.slot);
  }
  entries_.clear();
}

// ---- OutputBatch

OutputBatch::OutputBatch() : outer_(t_batch) { t_batch = this; }

OutputBatch::~OutputBatch() { t_batch = outer_; }

Status OutputBatch::commit() {
  // A batch inside another (a writer that groups its own files, called by a
  // command that groups all of its outputs) hands them on instead.
  if (outer_) {
    for (StagedFiles::Entry& e : files_.entries_) outer_->files_.entries_.push_back(std::move(e));
    files_.entries_.clear();
    return Status::success();
  }
  std::vector<size_t> order(files_.entries_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (order.empty()) return Status::success();
  return files_.commit_in_order(order);
}

// ---- single files

Status write_file_atomically(const std::filesystem::path& path,
                             const std::function<Status(const std::filesystem::path& temp)>& write) {
  StagedFiles files;
  Status written = write(files.stage(path));
  if (!written.ok()) return written;  // the destructor removes the temporary
  return files.commit(path);
}

Status write_bytes_atomically(const std::filesystem::path& path, std::string_view content) {
  return write_file_atomically(path, [&](const std::filesystem::path& temp) {
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return Status::failure("cannot write " + quoted(path) + ": " + std::strerror(errno));
    const bool wrote = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    const int write_errno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!wrote || !closed)
      return Status::failure("cannot write " + quoted(path) + ": " +
                             std::strerror(wrote ? errno : write_errno));
    return Status::success();
  });
}

void set_rename_for_testing(RenameCall call) { g_rename.store(call); }

void remove_temporaries_on_signals() {
  struct sigaction action {};
  action.sa_handler = remove_temporaries_and_end;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(s, &action, nullptr);
}

}  // namespace kurvo::media
