#include "platform/memory/machine.h"

#include <stdexcept>

#include "platform/memory/registry_model.h"

namespace memory {

void ResetMachine() {
  ResetRegistry();
  ClearOutput();
  ResetConsoleTitle();
  ResetSession();
  ResetServiceManager();
  ResetEnvironment();
}

void CreateKey(std::u16string_view keyPath) { CreateNode(keyPath); }

std::optional<StoredValue> ReadValue(std::u16string_view keyPath, std::u16string_view name) {
  const Node* node = FindNode(keyPath);
  if (!node) return std::nullopt;
  for (const Value& value : node->values)
    if (SameName(value.name, name)) return StoredValue{value.type, value.data};
  return std::nullopt;
}

std::u16string StoredPath(std::u16string_view keyPath) {
  const Node* node = FindNode(keyPath);
  return node ? PathOf(*node) : std::u16string();
}

void TreeBuilder::Key(std::u16string_view keyPath) { current_ = &CreateNode(keyPath); }

void TreeBuilder::Value(std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
  if (!current_) throw std::logic_error("TreeBuilder: a value before any key");
  SetNodeValue(*static_cast<Node*>(current_), name, type, std::move(data));
}

}  // namespace memory
