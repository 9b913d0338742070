// Atomic writing: nothing under the real name until the whole write worked;
// a commit that fails part way puts back what it replaced.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fstream>
#include <sstream>

#include "atomic_file.h"
#include "mesh_export.h"
#include "temp_dir.h"

using namespace kurvo::media;

namespace {

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AtomicFile, WritesThroughATemporaryBesideTheTarget) {
  TempDir dir;
  std::filesystem::path seen;
  const Status s = write_file_atomically(dir / "a.json", [&](const std::filesystem::path& temp) {
    seen = temp;
    std::ofstream(temp) << "{}";
    EXPECT_FALSE(std::filesystem::exists(dir / "a.json")) << "target appears only on success";
    return Status::success();
  });
  ASSERT_TRUE(s.ok()) << s.message();
  EXPECT_EQ(seen.parent_path(), dir.path());
  EXPECT_EQ(read_file(dir / "a.json"), "{}");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"a.json"});
}

TEST(AtomicFile, FailingWriterLeavesNoFileAndKeepsTheOldOne) {
  TempDir dir;
  const auto failing = [](const std::filesystem::path& temp) {
    std::ofstream(temp) << "half a fi";
    return Status::failure("disk on fire");
  };
  Status s = write_file_atomically(dir / "new.png", failing);
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "disk on fire");
  EXPECT_TRUE(dir.names().empty());

  dir.write("old.png", "previous");
  s = write_file_atomically(dir / "old.png", failing);
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(read_file(dir / "old.png"), "previous");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"old.png"});
}

TEST(AtomicFile, WriterThatWritesNothingIsAFailure) {
  TempDir dir;
  const Status s = write_file_atomically(dir / "x.txt", [](const std::filesystem::path&) { return Status::success(); });
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("x.txt"), std::string::npos) << s.message();
}

TEST(AtomicFile, BytesIntoAMissingDirectoryNameTheFile) {
  TempDir dir;
  ASSERT_TRUE(write_bytes_atomically(dir / "b.bin", std::string("a\0b", 3)).ok());
  EXPECT_EQ(read_file(dir / "b.bin"), std::string("a\0b", 3));
  const Status s = write_bytes_atomically(dir / "no" / "b.bin", "x");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("b.bin"), std::string::npos) << s.message();
}

TEST(StagedFiles, CommitsAllTogetherOrRemovesAllTemporaries) {
  TempDir dir;
  {
    StagedFiles files;
    std::ofstream(files.stage(dir / "m.obj")) << "obj";
    std::ofstream(files.stage(dir / "m.mtl")) << "mtl";
    EXPECT_EQ(files.stage(dir / "m.obj"), files.stage(dir / "m.obj"));
    EXPECT_EQ(dir.names().size(), 2u);
    // Dropped without commit: an interrupted export.
  }
  EXPECT_TRUE(dir.names().empty());

  StagedFiles files;
  std::ofstream(files.stage(dir / "m.obj")) << "obj";
  std::ofstream(files.stage(dir / "m.mtl")) << "mtl";
  ASSERT_TRUE(files.commit(dir / "m.obj").ok());
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"m.mtl", "m.obj"}));
  EXPECT_EQ(read_file(dir / "m.mtl"), "mtl");
}

}  // namespace

namespace {

TEST(StagedFiles, ACommitThatCannotFinishPutsEveryOldFileBack) {
  TempDir dir;
  dir.write("m.mtl", "old mtl");
  std::filesystem::create_directory(dir / "m.obj");
  StagedFiles files;
  std::ofstream(files.stage(dir / "m.obj")) << "obj";
  std::ofstream(files.stage(dir / "m.mtl")) << "mtl";
  const Status s = files.commit(dir / "m.obj");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("directory"), std::string::npos) << s.message();
  EXPECT_EQ(read_file(dir / "m.mtl"), "old mtl");
  files.discard();
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"m.mtl", "m.obj"}));
}

TEST(OutputBatch, HoldsEveryCommitUntilItsOwn) {
  TempDir dir;
  dir.write("b.txt", "old b");
  {
    OutputBatch batch;
    ASSERT_TRUE(write_bytes_atomically(dir / "a.txt", "new a").ok());
    ASSERT_TRUE(write_bytes_atomically(dir / "b.txt", "new b").ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "a.txt")) << "nothing in place before the batch commits";
    EXPECT_EQ(read_file(dir / "b.txt"), "old b");
    // Dropped without commit: the command failed later.
  }
  EXPECT_EQ(dir.names(), std::vector<std::string>{"b.txt"});
  {
    OutputBatch batch;
    ASSERT_TRUE(write_bytes_atomically(dir / "a.txt", "new a").ok());
    ASSERT_TRUE(write_bytes_atomically(dir / "b.txt", "new b").ok());
    ASSERT_TRUE(batch.commit().ok());
  }
  EXPECT_EQ(read_file(dir / "a.txt"), "new a");
  EXPECT_EQ(read_file(dir / "b.txt"), "new b");
}

TEST(OutputBatch, AnInnerBatchHandsItsFilesToTheOuterOne) {
  TempDir dir;
  {
    OutputBatch outer;
    {
      OutputBatch inner;
      ASSERT_TRUE(write_bytes_atomically(dir / "a.txt", "a").ok());
      ASSERT_TRUE(inner.commit().ok());
    }
    EXPECT_TRUE(dir.names().size() == 1 && dir.names()[0][0] == '.') << "only the temporary, until the outer commits";
    // Dropped without commit: the inner batch's files go too.
  }
  EXPECT_TRUE(dir.names().empty());
}

TEST(AtomicFile, AFatalSignalRemovesTheTemporaries) {
  TempDir dir;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    remove_temporaries_on_signals();
    StagedFiles files;
    std::ofstream(files.stage(dir / "big.glb")) << "half";
    ::raise(SIGTERM);
    ::_exit(0);  // not reached
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "ends as the signal would";
  EXPECT_TRUE(dir.names().empty());
}

}  // namespace

// ---- A rename that fails on the Nth call
//
// The commit's renames go through a stand-in that records each target and
// fails the Nth as a full disk would.

namespace {

class FailingRename {
 public:
  explicit FailingRename(int nth) {
    fail_at_ = nth;
    calls_ = 0;
    targets_.clear();
    set_rename_for_testing(&Rename);
  }
  ~FailingRename() { set_rename_for_testing(nullptr); }
  FailingRename(const FailingRename&) = delete;
  FailingRename& operator=(const FailingRename&) = delete;

  // The file names renamed onto, in order (putting old files back included).
  static const std::vector<std::string>& targets() { return targets_; }

 private:
  static int Rename(const char* from, const char* to) {
    ++calls_;
    targets_.push_back(std::filesystem::path(to).filename().string());
    if (calls_ == fail_at_) {
      errno = ENOSPC;
      return -1;
    }
    return ::rename(from, to);
  }
  static inline int fail_at_ = 0, calls_ = 0;
  static inline std::vector<std::string> targets_;
};

// A command's outputs: a mesh with its material library (the mesh primary),
// then two single files; two of the four replace files that exist.
void write_outputs(const TempDir& dir) {
  StagedFiles mesh;
  std::ofstream(mesh.stage(dir / "a.obj")) << "new obj";
  std::ofstream(mesh.stage(dir / "a.mtl")) << "new mtl";
  ASSERT_TRUE(mesh.commit(dir / "a.obj").ok());
  ASSERT_TRUE(write_bytes_atomically(dir / "b.txt", "new b").ok());
  ASSERT_TRUE(write_bytes_atomically(dir / "c.txt", "new c").ok());
}

TEST(OutputBatch, ARenameFailingAtAnyPointPutsEveryFileBack) {
  const std::vector<std::string> order = {"a.mtl", "a.obj", "b.txt", "c.txt"};
  for (int nth = 1; nth <= static_cast<int>(order.size()); ++nth) {
    SCOPED_TRACE("rename " + std::to_string(nth) + " fails");
    TempDir dir;
    dir.write("a.mtl", "old mtl");
    dir.write("c.txt", "old c");
    {
      FailingRename faults(nth);
      OutputBatch batch;
      write_outputs(dir);
      const Status s = batch.commit();
      ASSERT_FALSE(s.ok());
      ASSERT_GE(faults.targets().size(), static_cast<size_t>(nth));
      EXPECT_EQ(std::vector<std::string>(faults.targets().begin(), faults.targets().begin() + nth),
                std::vector<std::string>(order.begin(), order.begin() + nth));
      EXPECT_NE(s.message().find(order[nth - 1]), std::string::npos) << s.message();
      EXPECT_NE(s.message().find(std::strerror(ENOSPC)), std::string::npos) << s.message();
      // Every file renamed before the failure is undone, the last one too.
      EXPECT_EQ(read_file(dir / "a.mtl"), "old mtl");
      EXPECT_EQ(read_file(dir / "c.txt"), "old c");
      EXPECT_FALSE(std::filesystem::exists(dir / "a.obj"));
      EXPECT_FALSE(std::filesystem::exists(dir / "b.txt"));
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.mtl", "c.txt"})) << "no temporaries, no backups";
  }

  TempDir dir;
  dir.write("a.mtl", "old mtl");
  {
    FailingRename none(0);
    OutputBatch batch;
    write_outputs(dir);
    ASSERT_TRUE(batch.commit().ok());
    EXPECT_EQ(none.targets(), order);
  }
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.mtl", "a.obj", "b.txt", "c.txt"}));
  EXPECT_EQ(read_file(dir / "a.mtl"), "new mtl");
}

// On a file system without hard links the old content is kept as a copy,
// so a late failure still puts every replaced file back.
TEST(OutputBatch, WithoutHardLinksAFailedCommitStillPutsOldFilesBack) {
  set_link_for_testing([](const char*, const char*) {
    errno = EPERM;
    return -1;
  });
  for (int nth = 1; nth <= 4; ++nth) {
    SCOPED_TRACE("rename " + std::to_string(nth) + " fails");
    TempDir dir;
    dir.write("a.mtl", "old mtl");
    dir.write("c.txt", "old c");
    {
      FailingRename faults(nth);
      OutputBatch batch;
      write_outputs(dir);
      ASSERT_FALSE(batch.commit().ok());
    }
    EXPECT_EQ(read_file(dir / "a.mtl"), "old mtl");
    EXPECT_EQ(read_file(dir / "c.txt"), "old c");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.mtl", "c.txt"})) << "no temporaries, no backups";
  }
  set_link_for_testing(nullptr);
}

TEST(StagedFiles, ThePrimaryFileIsPutInPlaceLast) {
  const std::vector<std::string> names = {"x.bin", "x.gltf", "x.png"};
  for (const std::string& primary : names) {
    TempDir dir;
    FailingRename log(0);
    StagedFiles files;
    for (const std::string& n : names) std::ofstream(files.stage(dir / n)) << n;
    ASSERT_TRUE(files.commit(dir / primary).ok());
    ASSERT_EQ(log.targets().size(), names.size());
    EXPECT_EQ(log.targets().back(), primary);
    EXPECT_EQ(dir.names(), names);
  }
  {
    // Without one named, the first staged file is taken as the primary.
    TempDir dir;
    FailingRename log(0);
    StagedFiles files;
    for (const std::string& n : names) std::ofstream(files.stage(dir / n)) << n;
    ASSERT_TRUE(files.commit().ok());
    EXPECT_EQ(log.targets(), (std::vector<std::string>{"x.gltf", "x.png", "x.bin"}));
  }
  // The real writers, inside a command's batch: each file the command was
  // asked for comes after the side files it needs.
  TempDir dir;
  Mesh mesh;
  mesh.name = "Tri";
  mesh.points = {Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0)};
  set_polygons(mesh, {make_triangle(0, 1, 2)});
  mesh.colour = Vector(1, 0, 0);
  FailingRename log(0);
  OutputBatch batch;
  ASSERT_TRUE(export_meshes({mesh}, dir / "m.obj").ok());
  ASSERT_TRUE(export_meshes({mesh}, dir / "m.gltf").ok());
  ASSERT_TRUE(batch.commit().ok());
  EXPECT_EQ(log.targets(), (std::vector<std::string>{"m.mtl", "m.obj", "m.bin", "m.gltf"}));
}

}  // namespace
