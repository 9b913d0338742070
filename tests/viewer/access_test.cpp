// Who the viewer's server lets in, and the binary frames it sends.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "access.h"
#include "geometry_frame.h"

namespace kurvo::viewer {
namespace {

TEST(ViewerAccess, OnlyTheOwnOriginWithTheTokenGetsIn) {
  const Access access("0123456789abcdef0123456789abcdef", 7420);
  const std::string token = access.token();
  EXPECT_EQ(access.refusal({"127.0.0.1:7420", "", token}), "");
  EXPECT_EQ(access.refusal({"localhost:7420", "http://localhost:7420", token}), "");
  EXPECT_EQ(access.refusal({"127.0.0.1:7420", "http://127.0.0.1:7420", token}), "");

  EXPECT_NE(access.refusal({"127.0.0.1:7420", "", ""}), "");                  // no token
  EXPECT_NE(access.refusal({"127.0.0.1:7420", "", token + "0"}), "");         // longer
  std::string oneOff = token;
  oneOff[0] = oneOff[0] == 'f' ? 'e' : 'f';
  EXPECT_NE(access.refusal({"127.0.0.1:7420", "", oneOff}), "");  // one digit off
  EXPECT_NE(access.refusal({"127.0.0.1:7420", "http://evil.example", token}), "");
  EXPECT_NE(access.refusal({"127.0.0.1:7420", "http://127.0.0.1:7421", token}), "");
  EXPECT_NE(access.refusal({"127.0.0.1:7420", "https://127.0.0.1:7420", token}), "");
  EXPECT_NE(access.refusal({"127.0.0.1:7420", "null", token}), "");
  // A name of another site that resolves to this machine.
  EXPECT_NE(access.refusal({"evil.example:7420", "", token}), "");
  EXPECT_NE(access.refusal({"127.0.0.1:7421", "", token}), "");
}

// Real folders and links in a fresh temporary folder: what the asset route
// may read and where save and export may write.
TEST(ViewerAccess, FilesOnlyInsideTheirFolderOnceLinksAreFollowed) {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path() / ("kurvo-access-" + newToken());
  const fs::path page = base / "page", sibling = base / "page-other", scenes = base / "scenes";
  fs::create_directories(page / "vendor");
  fs::create_directories(sibling);
  fs::create_directories(scenes / "sub");
  for (const fs::path& f : {page / "main.js", page / "vendor" / "lib.js", sibling / "secret.txt", base / "outside.txt"})
    std::ofstream(f) << "x";
  fs::create_symlink(base / "outside.txt", page / "leak.txt");
  fs::create_symlink(sibling, page / "dir-out");
  fs::create_symlink(page / "main.js", page / "alias.js");  // a link that stays inside

  EXPECT_EQ(fileInside(page, "main.js"), fs::canonical(page / "main.js"));
  EXPECT_EQ(fileInside(page, "vendor/lib.js"), fs::canonical(page / "vendor" / "lib.js"));
  EXPECT_EQ(fileInside(page, "alias.js"), fs::canonical(page / "main.js"));
  for (const char* name : {"/etc/passwd", "//etc/passwd", "/proc/self/environ", "../outside.txt",
                                 "vendor/../../outside.txt", "../page-other/secret.txt", "leak.txt",
                                 "dir-out/secret.txt", "vendor", "missing.js", ""})
    EXPECT_EQ(fileInside(page, name), fs::path()) << name;

  std::string problem;
  const std::vector<fs::path> folders{scenes};
  EXPECT_EQ(writableTarget("out.obj", scenes, folders, problem), fs::canonical(scenes) / "out.obj");
  EXPECT_EQ(writableTarget("sub/new/out.glb", scenes, folders, problem), fs::canonical(scenes) / "sub/new/out.glb");
  fs::create_symlink(base / "outside.txt", scenes / "settings.json");
  for (const fs::path& target : {fs::path("/tmp/x.json"), fs::path("../x.obj"), fs::path("sub/../../x.obj"),
                                base / "scenes-2" / "x.obj", fs::path("settings.json"), fs::path("."), fs::path("sub/..")}) {
    problem.clear();
    EXPECT_EQ(writableTarget(target, scenes, folders, problem), fs::path()) << target;
    EXPECT_NE(problem.find("writes only inside"), std::string::npos) << problem;
  }
  EXPECT_FALSE(liesInside(base / "page-other", page));  // a shared prefix is not a parent
  EXPECT_TRUE(liesInside(page / "vendor" / "new.js", page));
  fs::remove_all(base);
}

TEST(ViewerAccess, TokensAreLongRandomHex) {
  const std::string a = newToken(), b = newToken();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
}

TEST(GeometryFrame, HeaderThenAlignedArrays) {
  FrameWriter frame;
  const float floats[] = {1.5f, -2.0f, 3.25f};
  const uint32_t uints[] = {7, 8};
  nlohmann::json header = {{"name", "xyz"}};  // an odd length, to need padding
  header["f"] = frame.addFloats(floats, 3);
  header["u"] = frame.addUints(uints, 2);
  const std::string out = frame.finish(header);

  ASSERT_EQ(out.substr(0, 4), "KVF1");
  uint32_t length = 0;
  std::memcpy(&length, out.data() + 4, 4);
  EXPECT_EQ(length % 4, 0u);
  const auto parsed = nlohmann::json::parse(out.substr(8, length));
  const size_t base = 8 + length;
  float f[3];
  std::memcpy(f, out.data() + base + parsed["f"]["offset"].get<size_t>(), sizeof f);
  EXPECT_EQ(f[0], 1.5f);
  EXPECT_EQ(f[2], 3.25f);
  uint32_t u[2];
  std::memcpy(u, out.data() + base + parsed["u"]["offset"].get<size_t>(), sizeof u);
  EXPECT_EQ(u[1], 8u);
  EXPECT_EQ(parsed["u"]["count"], 2);
  EXPECT_EQ(out.size(), base + sizeof floats + sizeof uints);
}

}  // namespace
}  // namespace kurvo::viewer
