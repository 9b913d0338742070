// Point lists printed straight from the points against the same document
// built as a tree of numbers (pointsJson) and printed by the tree printer:
// the same text, byte for byte, and the same JSON once parsed, for awkward
// floats and lists at different depths.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "json_text.h"
#include "scene_geometry.h"

namespace {

namespace sf = kurvo::scenefile;
using sf::Json;

std::vector<Vector> awkwardPoints() {
  using limits = std::numeric_limits<float>;
  const float values[] = {0.0f, -0.0f, 1.0f, -2.0f, 0.1f, 1e-45f, limits::min(), limits::max(), -limits::max(),
                          3.4028233e38f, 1e20f, 123456789.0f, 16777217.0f, 1e-7f, limits::denorm_min() * 3, limits::quiet_NaN(),
                          limits::infinity(), -limits::infinity()};
  std::vector<Vector> points;
  for (float a : values)
    for (float b : {0.5f, -1e10f}) points.emplace_back(a, b, -a);
  std::mt19937 random(7);
  for (int k = 0; k < 5000; ++k)  // any bit pattern: every exponent, subnormals, NaNs
    points.emplace_back(std::bit_cast<float>(static_cast<uint32_t>(random())),
                        std::bit_cast<float>(static_cast<uint32_t>(random())),
                        std::bit_cast<float>(static_cast<uint32_t>(random())));
  return points;
}

// Where two long texts part, with a little of each around it.
std::string firstDifference(const std::string& a, const std::string& b) {
  const auto at = static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
  const size_t from = at < 40 ? 0 : at - 40;
  return "at byte " + std::to_string(at) + ":\n" + a.substr(from, 80) + "\nagainst\n" + b.substr(from, 80);
}

TEST(PointListText, PrintsAsTheTreeOfItsPoints) {
  const std::vector<Vector> points = awkwardPoints(), empty, one = {Vector(1.5f, -3.0f, 2e-3f)};
  // The same document twice: lists as trees, and as placeholders for the printer.
  const auto document = [&](const auto& list) {
    Json child = Json::object();
    child["name"] = "inner";
    child["deformed_points"] = list(empty, 1);
    child["other"] = Json::array({Json::array({1, 2}), Json::array({3, 4})});
    Json grandchild = Json::object();
    grandchild["deformed_points"] = list(one, 2);
    child["children"] = Json::array({grandchild});
    Json top = Json::object();
    top["name"] = "outer";
    top["deformed_points"] = list(points, 0);
    top["children"] = Json::array({child});
    Json root = Json::object();
    root["objects"] = Json::array({top});
    root["after"] = 0.25;
    return root;
  };
  const std::string tree = sf::prettyJson(document([](const std::vector<Vector>& p, size_t) { return sf::pointsJson(p); }));
  const sf::PointLists lists = {&points, &empty, &one};
  const std::string streamed =
      sf::prettyJson(document([](const std::vector<Vector>&, size_t k) { return sf::pointListPlaceholder(k); }), lists);
  EXPECT_TRUE(streamed == tree) << firstDifference(streamed, tree);
  EXPECT_EQ(Json::parse(streamed), Json::parse(tree));
  EXPECT_NE(tree.find("\"deformed_points\": []"), std::string::npos);
}

TEST(PointListText, RefusesAPlaceholderWithoutItsList) {
  Json root = Json::object();
  root["deformed_points"] = sf::pointListPlaceholder(1);
  const std::vector<Vector> points(2);
  EXPECT_THROW(sf::prettyJson(root, {&points}), std::logic_error);
  EXPECT_THROW(sf::prettyJson(root), std::logic_error);
}

}  // namespace
