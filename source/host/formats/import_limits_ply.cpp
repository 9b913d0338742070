// The PLY part of import_limits.h: the header (already checked by
// ply_header_check.h) gives the layout; the body is walked once, list by
// list, without keeping anything.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "import_limits.h"

namespace kurvo::media {
namespace {

struct Property {
  bool list = false;
  int count_bytes = 0, item_bytes = 0;  // a list's count and items; a scalar's size in item_bytes
  bool count_signed = false;
};
struct Element {
  std::string name;
  uint64_t count = 0;
  std::vector<Property> properties;
};
enum class Body { ascii, little, big };

int type_bytes(const std::string& type, bool* is_signed = nullptr) {
  static const std::pair<const char*, int> kTypes[] = {
      {"char", -1},  {"uchar", 1},  {"short", -2}, {"ushort", 2}, {"int", -4},    {"uint", 4},
      {"float", 4},  {"double", 8}, {"int8", -1},  {"uint8", 1},  {"int16", -2},  {"uint16", 2},
      {"int32", -4}, {"uint32", 4}, {"float32", 4}, {"float64", 8}};
  for (const auto& [name, bytes] : kTypes) {
    if (type != name) continue;
    if (is_signed) *is_signed = bytes < 0;
    return bytes < 0 ? -bytes : bytes;
  }
  return 0;
}

// The header's layout, and where the body starts; false when the header is
// not one this walk understands (the header check reports those).
bool read_header(std::string_view bytes, std::vector<Element>& elements, Body& body, size_t& start) {
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t end = std::min(bytes.find('\n', at), bytes.size());
    std::string line(bytes.substr(at, end - at));
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "end_header") {
      start = std::min(at, bytes.size());
      return true;
    }
    if (keyword == "format") {
      std::string kind;
      words >> kind;
      body = kind == "ascii" ? Body::ascii : kind == "binary_big_endian" ? Body::big : Body::little;
    } else if (keyword == "element") {
      Element e;
      words >> e.name >> e.count;
      elements.push_back(std::move(e));
    } else if (keyword == "property" && !elements.empty()) {
      std::string first, second, third;
      words >> first;
      Property p;
      if (first == "list") {
        words >> second >> third;
        p.list = true;
        p.count_bytes = type_bytes(second, &p.count_signed);
        p.item_bytes = type_bytes(third);
      } else {
        p.item_bytes = type_bytes(first);
      }
      if (p.item_bytes == 0 || (p.list && p.count_bytes == 0)) return false;
      elements.back().properties.push_back(p);
    }
  }
  return false;
}

std::string list_problem(const Element& e, uint64_t instance, uint64_t length, uint64_t left) {
  return "its element \"" + e.name + "\" " + std::to_string(instance) + " declares a list of " +
         std::to_string(length) + " items, more than the " + std::to_string(left) + " bytes after it hold";
}

std::string walk_binary(std::string_view bytes, size_t at, const std::vector<Element>& elements, bool big) {
  const auto read_count = [&](const Property& p, size_t where, uint64_t& value) {
    uint64_t v = 0;
    for (int k = 0; k < p.count_bytes; ++k) {
      const auto byte = static_cast<unsigned char>(bytes[where + static_cast<size_t>(big ? k : p.count_bytes - 1 - k)]);
      v = (v << 8) | byte;
    }
    if (p.count_signed && (v >> (8 * p.count_bytes - 1)) != 0) return false;  // negative
    value = v;
    return true;
  };
  for (const Element& e : elements) {
    const bool fixed = std::none_of(e.properties.begin(), e.properties.end(), [](const Property& p) { return p.list; });
    if (fixed) {  // no list: the whole element at once
      uint64_t size = 0;
      for (const Property& p : e.properties) size += static_cast<uint64_t>(p.item_bytes);
      if (size != 0 && e.count > (bytes.size() - at) / size) return {};  // cut short: the importer says so
      at += static_cast<size_t>(e.count * size);
      continue;
    }
    for (uint64_t n = 0; n < e.count; ++n) {
      for (const Property& p : e.properties) {
        if (!p.list) {
          if (bytes.size() - at < static_cast<size_t>(p.item_bytes)) return {};
          at += static_cast<size_t>(p.item_bytes);
          continue;
        }
        uint64_t length = 0;
        if (bytes.size() - at < static_cast<size_t>(p.count_bytes)) return {};
        if (!read_count(p, at, length))
          return "its element \"" + e.name + "\" " + std::to_string(n) + " declares a list of negative length";
        at += static_cast<size_t>(p.count_bytes);
        const uint64_t left = bytes.size() - at;
        if (length > left / static_cast<uint64_t>(p.item_bytes)) return list_problem(e, n, length, left);
        at += static_cast<size_t>(length * static_cast<uint64_t>(p.item_bytes));
      }
    }
  }
  return {};
}

std::string walk_ascii(std::string_view bytes, size_t at, const std::vector<Element>& elements) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  const auto next_word = [&](std::string_view& word) {
    while (at < bytes.size() && space(bytes[at])) ++at;
    const size_t begin = at;
    while (at < bytes.size() && !space(bytes[at])) ++at;
    word = bytes.substr(begin, at - begin);
    return !word.empty();
  };
  // Past the last element with a list there is nothing left to check.
  size_t with_lists = 0;
  for (size_t i = 0; i < elements.size(); ++i)
    for (const Property& p : elements[i].properties)
      if (p.list) with_lists = i + 1;
  std::string_view word;
  for (size_t i = 0; i < with_lists; ++i) {
    const Element& e = elements[i];
    for (uint64_t n = 0; n < e.count; ++n) {
      for (const Property& p : e.properties) {
        if (!next_word(word)) return {};
        if (!p.list) continue;
        uint64_t length = 0;
        if (word.find_first_not_of("0123456789") != std::string_view::npos || word.size() > 19)
          return "its element \"" + e.name + "\" " + std::to_string(n) + " has a list length \"" +
                 std::string(word.substr(0, 24)) + "\" that is not a whole number";
        for (char c : word) length = length * 10 + static_cast<uint64_t>(c - '0');
        // Every item takes a digit and a separator.
        const uint64_t left = bytes.size() - at;
        if (length > left / 2 + 1) return list_problem(e, n, length, left);
        for (uint64_t k = 0; k < length; ++k)
          if (!next_word(word)) return {};
      }
    }
  }
  return {};
}

}  // namespace

std::string ply_limit_problem(std::string_view bytes) {
  std::vector<Element> elements;
  Body body = Body::ascii;
  size_t start = 0;
  if (!read_header(bytes, elements, body, start)) return {};
  if (body == Body::ascii) return walk_ascii(bytes, start, elements);
  return walk_binary(bytes, start, elements, body == Body::big);
}

}  // namespace kurvo::media
