// Atomic file writing: every file the tool writes goes to a temporary name in
// the target's own directory and is renamed into place only when the whole
// write succeeded, so a failed or interrupted run never leaves half a file
// under the real name (rename within one directory is atomic on POSIX).
//
// StagedFiles covers writers that produce several files at once (a mesh and
// its material library, a glTF and its buffer): each final path gets its own
// temporary, all are renamed on commit, and whatever was not committed is
// removed when the set goes away.
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

  // Renames every staged file that exists into place. `primary` (when staged)
  // goes last, so a reader never sees a main file whose side files are still
  // missing; without it, the first staged file goes last. A staged file that
  // was never written is a failure naming it.
  Status commit(const std::filesystem::path& primary = {});
  // Removes the temporaries written so far.
  void discard();

 private:
  struct Entry {
    std::filesystem::path final_path;
    std::filesystem::path temp_path;
  };
  std::vector<Entry> entries_;
};

// Calls `write` with a temporary path beside `path`; renames it into place
// when `write` succeeds, removes it otherwise.
Status write_file_atomically(const std::filesystem::path& path,
                             const std::function<Status(const std::filesystem::path& temp)>& write);

// Writes `content` to `path` (text or binary alike) through a temporary.
Status write_bytes_atomically(const std::filesystem::path& path, std::string_view content);

}  // namespace kurvo::media

#endif
