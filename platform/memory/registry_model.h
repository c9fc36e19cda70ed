// The in-memory registry's keys and values, shared by its API calls and its
// .reg reader and writer.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace memory {

struct Value {
  std::u16string name;
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};

struct Node {
  std::u16string name;
  Node* parent = nullptr;
  std::vector<std::shared_ptr<Node>> subkeys;  // in enumeration order
  std::vector<Value> values;                   // in creation order
  bool deleted = false;
  bool isLink = false;
  std::u16string linkTarget;
  std::uint32_t refused = 0;
  bool nameHidden = false;
  std::optional<std::int32_t> failQueryInfo;
  std::map<std::uint32_t, std::int32_t> failEnumKey;
  std::map<std::uint32_t, std::int32_t> failEnumValue;
};

bool SameName(std::u16string_view a, std::u16string_view b);
std::u16string PathOf(const Node& node);
Node* FindNode(std::u16string_view path);  // follows links; null when missing
Node& CreateNode(std::u16string_view path);
void DeleteNode(std::u16string_view path);
void SetNodeValue(Node& node, std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
void DeleteNodeValue(Node& node, std::u16string_view name);
// Whether the code under test holds a handle to top or to a key below it.
bool HandleOpenInside(const Node& top);
// Runs the action of BeforeEveryCall, for a call made on a key by its path
// rather than through a handle (RegUnLoadKeyW).
void RunEveryCallAction(std::string_view function, std::u16string_view keyPath);
// No hive loaded and none failing; the token holds the hive privileges, disabled.
void ResetHives();

}  // namespace memory
