// The .reg text that tests build the in-memory registry from and compare it with.
#include <stdexcept>

#include "platform/memory/machine.h"
#include "platform/memory/registry_model.h"
#include "platform/registry.h"

namespace memory {
namespace {

[[noreturn]] void Fail(std::u16string_view line, const char* why) {
  throw std::invalid_argument(std::string(why) + " in .reg line: " + Narrow(line));
}

// Reads a quoted text at the start of rest, with \\ and \" escapes, and
// advances rest past the closing quote.
std::u16string Quoted(std::u16string_view& rest, std::u16string_view line) {
  if (rest.empty() || rest[0] != u'"') Fail(line, "expected a quote");
  std::u16string text;
  size_t i = 1;
  for (; i < rest.size() && rest[i] != u'"'; ++i) {
    if (rest[i] == u'\\' && i + 1 < rest.size()) ++i;
    text += rest[i];
  }
  if (i == rest.size()) Fail(line, "unclosed quote");
  rest.remove_prefix(i + 1);
  return text;
}

void AppendUnits(std::vector<std::uint8_t>& data, std::u16string_view text) {
  for (char16_t unit : text) {
    data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
}

std::vector<std::uint8_t> HexBytes(std::u16string_view text, std::u16string_view line) {
  std::vector<std::uint8_t> bytes;
  std::string digits;
  for (char16_t c : text) {
    if (c == u',' || c == u' ') continue;
    if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) Fail(line, "bad hex");
    digits += static_cast<char>(c);
    if (digits.size() == 2) {
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  if (!digits.empty()) Fail(line, "odd hex digits");
  return bytes;
}

void ApplyValue(Node& key, std::u16string_view line) {
  std::u16string_view rest = line;
  std::u16string name;
  if (rest.substr(0, 1) == u"@") rest.remove_prefix(1);
  else name = Quoted(rest, line);
  if (rest.substr(0, 1) != u"=") Fail(line, "expected =");
  rest.remove_prefix(1);
  std::vector<std::uint8_t> data;
  std::uint32_t type;
  if (rest == u"-") {
    DeleteNodeValue(key, name);
    return;
  } else if (rest.substr(0, 1) == u"\"") {
    type = platform::kRegSz;
    AppendUnits(data, Quoted(rest, line) + u'\0');
  } else if (rest.substr(0, 6) == u"dword:") {
    type = platform::kRegDword;
    auto bytes = HexBytes(rest.substr(6), line);
    if (bytes.size() != 4) Fail(line, "dword needs 8 digits");
    data.assign(bytes.rbegin(), bytes.rend());
  } else if (rest.substr(0, 6) == u"multi:") {
    type = platform::kRegMultiSz;
    rest.remove_prefix(6);
    while (!rest.empty()) {
      AppendUnits(data, Quoted(rest, line) + u'\0');
      if (rest.substr(0, 1) == u",") rest.remove_prefix(1);
    }
    AppendUnits(data, std::u16string(1, u'\0'));
  } else if (rest.substr(0, 4) == u"raw(") {
    auto close = rest.find(u"):");
    type = std::stoul(Narrow(rest.substr(4, close - 4)), nullptr, 16);
    rest.remove_prefix(close + 2);
    AppendUnits(data, Quoted(rest, line));
  } else if (rest.substr(0, 4) == u"hex:") {
    type = platform::kRegBinary;
    data = HexBytes(rest.substr(4), line);
  } else if (rest.substr(0, 4) == u"hex(") {
    auto close = rest.find(u"):");
    if (close == std::u16string_view::npos) Fail(line, "bad hex type");
    type = std::stoul(Narrow(rest.substr(4, close - 4)), nullptr, 16);
    data = HexBytes(rest.substr(close + 2), line);
  } else {
    Fail(line, "unknown data");
  }
  SetNodeValue(key, name, type, std::move(data));
}

std::u16string Escape(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  return out;
}

// A value whose data is one text and its NUL, with no NUL inside and no quote
// troubles, reads back best as "text".
bool IsPlainString(const Value& value) {
  if (value.type != platform::kRegSz || value.data.size() < 2 || value.data.size() % 2) return false;
  size_t units = value.data.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    bool nul = value.data[2 * i] == 0 && value.data[2 * i + 1] == 0;
    if (nul != (i + 1 == units)) return false;
  }
  return true;
}

void DumpNode(const Node& node, std::u16string& out) {
  out += u"[" + PathOf(node) + u"]\n";
  for (const auto& value : node.values) {
    out += value.name.empty() ? u"@=" : u"\"" + Escape(value.name) + u"\"=";
    if (IsPlainString(value)) {
      std::u16string text;
      for (size_t i = 0; i + 3 < value.data.size(); i += 2)
        text += static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
      out += u"\"" + Escape(text) + u"\"\n";
      continue;
    }
    static const char16_t kDigits[] = u"0123456789abcdef";
    out += u"hex(";
    if (value.type >= 16) out += kDigits[(value.type >> 4) & 0xF];
    out += kDigits[value.type & 0xF];
    out += u"):";
    for (size_t i = 0; i < value.data.size(); ++i) {
      if (i) out += u',';
      out += kDigits[value.data[i] >> 4];
      out += kDigits[value.data[i] & 0xF];
    }
    out += u'\n';
  }
  if (node.isLink) out += u"; link to " + node.linkTarget + u"\n";
  out += u'\n';
  if (node.isLink) return;
  for (const auto& child : node.subkeys) DumpNode(*child, out);
}

}  // namespace

void LoadReg(std::u16string_view text) {
  Node* key = nullptr;
  std::u16string logical;
  while (!text.empty()) {
    auto end = text.find(u'\n');
    auto line = text.substr(0, end);
    text.remove_prefix(end == std::u16string_view::npos ? text.size() : end + 1);
    while (!line.empty() && (line.front() == u' ' || line.front() == u'\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == u'\r' || line.back() == u' ')) line.remove_suffix(1);
    if (!line.empty() && line.back() == u'\\' && (line.substr(0, 1) != u"[")) {
      logical += line.substr(0, line.size() - 1);
      continue;
    }
    logical += line;
    std::u16string_view whole = logical;
    if (whole.empty() || whole[0] == u';' || whole.substr(0, 8) == u"REGEDIT4" || whole.substr(0, 8) == u"Windows ") {
    } else if (whole.substr(0, 2) == u"[-") {
      DeleteNode(whole.substr(2, whole.size() - 3));
      key = nullptr;
    } else if (whole[0] == u'[') {
      key = &CreateNode(whole.substr(1, whole.size() - 2));
    } else {
      if (!key) Fail(whole, "value outside a key");
      ApplyValue(*key, whole);
    }
    logical.clear();
  }
}

std::u16string DumpReg(std::u16string_view path) {
  std::u16string out;
  if (auto* node = FindNode(path)) DumpNode(*node, out);
  return out;
}

}  // namespace memory
