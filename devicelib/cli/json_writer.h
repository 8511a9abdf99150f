// A small JSON writer (RFC 8259) for vombel-device's --json output: one
// document written front to back, with the commas and the nesting kept
// right by the writer. Text goes out as UTF-8; what is not valid UTF-8
// becomes U+FFFD, so the output is always valid JSON whatever a card said.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vombel_device {

// `text` as a JSON string, quotes included: '"', '\' and the control
// characters escaped (\b \f \n \r \t, else \u00XX), everything else as it
// is, invalid UTF-8 replaced byte by byte with U+FFFD.
std::string JsonQuoted(std::string_view text);

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The name of the next member; only inside an object.
  JsonWriter& Key(std::string_view key);

  JsonWriter& String(std::string_view text);
  JsonWriter& Int(int64_t value);
  JsonWriter& Uint(uint64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // Key and value in one.
  JsonWriter& StringField(std::string_view key, std::string_view text) { return Key(key).String(text); }
  JsonWriter& IntField(std::string_view key, int64_t value) { return Key(key).Int(value); }
  JsonWriter& UintField(std::string_view key, uint64_t value) { return Key(key).Uint(value); }
  JsonWriter& BoolField(std::string_view key, bool value) { return Key(key).Bool(value); }
  JsonWriter& NullField(std::string_view key) { return Key(key).Null(); }

  // What was written so far; a whole document once every object and array
  // is closed.
  const std::string& Text() const { return text_; }

 private:
  // Before a value: the comma after an earlier element of an array.
  void BeforeValue();

  std::string text_;
  // One entry per open object or array: whether it holds an element yet.
  std::vector<bool> has_element_;
  bool after_key_ = false;
};

}  // namespace vombel_device
