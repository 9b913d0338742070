// Helpers shared by the host tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/host_session.h"
#include "core/memory.h"

namespace kurvo::host::test {

// A fresh temporary directory, removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("kurvo_host_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
             std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path write(const std::string& relative, const std::string& text) const {
    const auto file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

 private:
  std::filesystem::path path_;
};

// A quiet session; checks at the end that no block and no value leaked.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Memory::resetCounters();
    blocksBefore_ = Memory::liveBlocks();
    handlesBefore_ = LiveHandles::count();
    HostSession::Options options;
    options.quiet = true;
    session_ = std::make_unique<HostSession>(options);
  }
  void TearDown() override {
    session_.reset();
    Memory::resetCounters();
    EXPECT_EQ(Memory::liveBlocks(), blocksBefore_) << "leaked blocks";
    EXPECT_EQ(LiveHandles::count(), handlesBefore_) << "leaked host values";
  }
  HostSession& session() { return *session_; }
  const KhHostTable& table() { return session_->table(); }

  std::unique_ptr<HostSession> session_;
  int64_t blocksBefore_ = 0;
  int64_t handlesBefore_ = 0;
};

// Writes an uncompressed 8-bit TIFF of w x h with `samples` 3 (RGB) or 4 (RGBA); pixel
// (x, y) = (x, y, x + y, 200).
bool writeTestTiff(const std::filesystem::path& file, int w, int h, int samples);

}  // namespace kurvo::host::test
