#include "atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "path_text.h"

namespace kurvo::media {
namespace {

// ---- temporaries removed on a fatal signal
//
// A signal handler may only call async-signal-safe functions, so it walks
// plain memory: blocks of slots, each slot holding a path of plain
// characters or null. Blocks are added as a command makes more temporaries
// at once (a sequence of thousands of frames committed together) and are
// never freed, so the handler never meets freed memory; free slots are
// reused through a list that only the tracking side (never the handler)
// touches, under a lock.
constexpr int kSlotsPerBlock = 256;
struct Slot {
  std::atomic<char*> path{nullptr};  // what the handler removes
  char* buffer = nullptr;            // owned; reused for later paths that fit
  size_t capacity = 0;
};
struct SlotBlock {
  Slot slots[kSlotsPerBlock];
  SlotBlock* next = nullptr;  // set before the block is published
};
std::atomic<SlotBlock*> g_blocks{nullptr};
std::mutex g_slots_lock;
// Both lists live as long as the process: destroyed at exit they would
// leave retired buffers unreachable (a leak report) and a late signal or
// a detached writer with lists already torn down.
std::vector<Slot*>& g_free_slots = *new std::vector<Slot*>;  // under g_slots_lock
std::vector<char*>& g_retired = *new std::vector<char*>;     // outgrown buffers, under g_slots_lock

Slot* free_slot() {
  if (g_free_slots.empty()) {
    auto* block = new SlotBlock;
    block->next = g_blocks.load();
    for (int i = kSlotsPerBlock - 1; i >= 0; --i) g_free_slots.push_back(&block->slots[i]);
    g_blocks.store(block);
  }
  Slot* slot = g_free_slots.back();
  g_free_slots.pop_back();
  return slot;
}

// A handle for untrack(); null when the path could not be tracked (no
// memory left).
void* track(const std::filesystem::path& temp) {
  const std::string& text = temp.native();
  try {
    std::lock_guard<std::mutex> lock(g_slots_lock);
    Slot* slot = free_slot();
    if (slot->capacity < text.size() + 1) {
      // A buffer the handler may have seen is left behind rather than freed
      // under it; paths in one folder have one length, so this is rare.
      if (slot->buffer) g_retired.push_back(slot->buffer);
      slot->buffer = new char[text.size() + 1];
      slot->capacity = text.size() + 1;
    }
    std::memcpy(slot->buffer, text.c_str(), text.size() + 1);
    slot->path.store(slot->buffer);  // published whole
    return slot;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void untrack(void* handle) {
  if (!handle) return;
  auto* slot = static_cast<Slot*>(handle);
  slot->path.store(nullptr);
  std::lock_guard<std::mutex> lock(g_slots_lock);
  g_free_slots.push_back(slot);
}

void remove_temporaries_and_end(int signal_number) {
  for (SlotBlock* block = g_blocks.load(); block; block = block->next)
    for (Slot& s : block->slots)
      if (char* path = s.path.load()) ::unlink(path);
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

// Forces `path` (a file or a folder) to the disk; the error number, or 0.
// A rename is only as durable as the data it names: without this, a crash
// soon after a commit can leave the new names with empty files.
int sync_to_disk(const std::filesystem::path& path, bool directory) {
  const int fd = ::open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = ::fsync(fd) == 0 ? 0 : errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  // Folders that cannot be synced (some file systems refuse) lose nothing
  // already written; files that cannot be synced have failed.
  if (directory && (error == EINVAL || error == EBADF)) return 0;
  return error;
}

std::atomic<RenameCall> g_rename{nullptr};
std::atomic<RenameCall> g_link{nullptr};

int link_path(const char* from, const char* to) {
  const RenameCall call = g_link.load();
  return call ? call(from, to) : ::link(from, to);
}

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
  // Every byte is on the disk before any name changes.
  for (size_t i : order) {
    const Entry& e = entries_[i];
    if (const int error = sync_to_disk(e.temp_path, false); error != 0)
      return Status::failure("cannot write " + quoted(e.final_path) + ": " + std::strerror(error));
  }
  // The previous content of each target stays reachable under a hard link
  // until every rename has worked, so a late failure can put it back.
  struct Undo {
    size_t entry;
    bool existed = false;
    std::filesystem::path backup;  // the previous content, while it existed
    void* slot = nullptr;
  };
  std::vector<Undo> undo;
  const auto roll_back = [&](size_t renamed) {
    for (size_t k = 0; k < renamed; ++k) {
      const Entry& e = entries_[undo[k].entry];
      if (!undo[k].existed)
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
    Undo u{i, false, {}, nullptr};
    if (::access(e.target.c_str(), F_OK) == 0) {
      u.existed = true;
      u.backup = temporary_in(e.target.parent_path());
      u.slot = track(u.backup);
      // Where the file system has no hard links, a copy keeps the old
      // content instead; without either, nothing is replaced.
      std::error_code ec;
      if (link_path(e.target.c_str(), u.backup.c_str()) != 0 &&
          !std::filesystem::copy_file(e.target, u.backup, ec)) {
        const std::string reason = ec ? ec.message() : std::string("it could not be kept");
        ::unlink(u.backup.c_str());
        u.backup.clear();
        undo.push_back(std::move(u));
        drop_backups();
        return Status::failure("cannot replace " + quoted(e.final_path) + ": its previous content could not be kept (" +
                               reason + ")");
      }
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
  std::set<std::filesystem::path> folders;
  for (size_t i : order) {
    const std::filesystem::path folder = entries_[i].target.parent_path();
    folders.insert(folder.empty() ? std::filesystem::path(".") : folder);
  }
  for (const std::filesystem::path& folder : folders) sync_to_disk(folder, true);  // the new names
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
  std::vector<std::filesystem::path> names;
  for (const StagedFiles::Entry& e : files_.entries_) names.push_back(e.final_path);
  Status committed = files_.commit_in_order(order);
  if (committed.ok()) written_ = std::move(names);
  return committed;
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
void set_link_for_testing(RenameCall call) { g_link.store(call); }

void remove_temporaries_on_signals() {
  struct sigaction action {};
  action.sa_handler = remove_temporaries_and_end;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(s, &action, nullptr);
}

}  // namespace kurvo::media
