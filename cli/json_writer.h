// A small streaming JSON writer for the command-line output.

#ifndef RAVELIN_CLI_JSON_WRITER_H_
#define RAVELIN_CLI_JSON_WRITER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view value);
  JsonWriter& Int(int64_t value);
  JsonWriter& UInt(uint64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  const std::string& str() const { return out_; }

  static std::string Quote(std::string_view text);

 private:
  void BeforeValue();
  std::string out_;
  // Per open container: whether it has a member yet.
  std::vector<bool> hasMember_;
  bool afterKey_ = false;
};

}  // namespace ravelin

#endif  // RAVELIN_CLI_JSON_WRITER_H_
