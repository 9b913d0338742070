// Atomic writing: nothing under the real name until the whole write worked.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <fstream>
#include <sstream>

#include "atomic_file.h"
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
