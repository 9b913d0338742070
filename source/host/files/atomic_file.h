// Atomic file writing: every file the tool writes goes to a temporary name in
// the target's own directory and is renamed into place only when the whole
// write succeeded, so a failed or interrupted run never leaves half a file
// under the real name (rename within one directory is atomic on POSIX).
//
// StagedFiles covers writers that produce several files at once (a mesh and
// its material library, a glTF and its buffer): each final path gets its own
// temporary, all are renamed on commit, and whatever was not committed is
// removed when the set goes away. A commit is all or nothing: every target is
// checked first, every temporary is synced to the disk before the first
// rename (and the folders after the last), and when a rename still fails,
// the files already replaced get their previous content back.
//
// A replaced file keeps its permission bits; a target that is a symbolic link
// is written through the link (the link stays). Temporaries have short names
// of their own, so a target name of any allowed length works.
//
// OutputBatch gathers the outputs of a whole command: while one is alive,
// commits of this thread only hand their files over to it, and the batch's
// own commit puts them all in place together. A batch opened while another
// is alive hands its files on to that one when it commits.
#ifndef KURVO_MEDIA_ATOMIC_FILE_H
#define KURVO_MEDIA_ATOMIC_FILE_H

#include <filesystem>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "result.h"

namespace kurvo::media {

class StagedFiles {
 public:
  StagedFiles() = default;
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;
  ~StagedFiles();

  // The temporary path to write instead of `final_path` (the same one when the
  // path is staged again).
  std::filesystem::path stage(const std::filesystem::path& final_path);
  bool is_staged(const std::filesystem::path& final_path) const;

  // Renames every staged file into place. `primary` (when staged) goes last,
  // so a reader never sees a main file whose side files are still missing;
  // without it, the first staged file goes last. A staged file that was never
  // written is a failure naming it. Inside an OutputBatch, the files move to
  // the batch instead.
  Status commit(const std::filesystem::path& primary = {});
  // Removes the temporaries written so far.
  void discard();

 private:
  friend class OutputBatch;
  struct Entry {
    std::filesystem::path final_path;  // as the caller named it, for messages
    std::filesystem::path target;      // where the bytes go: symbolic links followed
    std::filesystem::path temp_path;
    void* slot = nullptr;  // in the list of temporaries removed on a fatal signal
  };
  Status commit_in_order(const std::vector<size_t>& order);
  std::vector<Entry> entries_;
};

class OutputBatch {
 public:
  OutputBatch();
  OutputBatch(const OutputBatch&) = delete;
  OutputBatch& operator=(const OutputBatch&) = delete;
  ~OutputBatch();  // uncommitted files are removed

  // Every file handed over so far, in the order handed over.
  Status commit();
  // The files a successful commit put in place, by the names the writers
  // gave them (empty for a batch that handed its files on to another).
  const std::vector<std::filesystem::path>& written() const noexcept { return written_; }

 private:
  friend class StagedFiles;
  StagedFiles files_;
  OutputBatch* outer_;
  std::vector<std::filesystem::path> written_;
};

// Calls `write` with a temporary path beside `path`; renames it into place
// when `write` succeeds, removes it otherwise.
Status write_file_atomically(const std::filesystem::path& path,
                             const std::function<Status(const std::filesystem::path& temp)>& write);

// Writes `content` to `path` (text or binary alike) through a temporary.
Status write_bytes_atomically(const std::filesystem::path& path, std::string_view content);

// Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the temporaries that exist
// at that moment (every one, however many a command holds) before the
// process ends as the signal would end it.
void remove_temporaries_on_signals();

// Fault injection for tests: every rename of a commit, and of putting old
// files back after a failed one, goes through `call` (null: the system's).
using RenameCall = int (*)(const char* from, const char* to);
void set_rename_for_testing(RenameCall call);
// The same for the hard link that keeps a replaced file's old content until
// the commit is through.
void set_link_for_testing(RenameCall call);

}  // namespace kurvo::media

#endif
