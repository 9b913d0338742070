// Who the viewer's server lets in, and the binary frames it sends.
#include <gtest/gtest.h>

#include <cstring>
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
  EXPECT_EQ(access.cookieName(), "kurvo_view_7420");
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
