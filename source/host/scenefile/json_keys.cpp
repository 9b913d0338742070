#include "json_keys.h"

#include <unordered_set>
#include <vector>

#include "json_text.h"

namespace kurvo::scenefile {
namespace {

class RepeatedKeys : public nlohmann::json_sax<Json> {
 public:
  std::string repeated;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override {
    open_.emplace_back();
    return true;
  }
  bool key(string_t& k) override {
    if (open_.back().insert(k).second) return true;
    repeated = k;
    return false;  // the first is enough
  }
  bool end_object() override {
    open_.pop_back();
    return true;
  }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  std::vector<std::unordered_set<std::string>> open_;  // the keys of each open object
};

}  // namespace

std::string firstRepeatedKey(std::string_view text) {
  RepeatedKeys keys;
  Json::sax_parse(text.begin(), text.end(), &keys);
  return keys.repeated;
}

}  // namespace kurvo::scenefile
