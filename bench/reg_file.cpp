#include "bench/reg_file.h"

#include <cstdio>
#include <string>

#include "bench/generated_registry.h"

namespace bench {
namespace {

// Where the generated trees go, and each one's share of the keys. Classes
// and machine software are the big roots of a real machine; the current
// user's keys are walked twice, under HKEY_CURRENT_USER and HKEY_USERS.
struct Tree {
  const char16_t* top;
  unsigned percent;
};
const Tree kTrees[] = {
    {u"HKEY_CLASSES_ROOT\\BenchClasses", 40},
    {u"HKEY_LOCAL_MACHINE\\Software\\BenchSoftware", 35},
    {u"HKEY_CURRENT_USER\\Software\\BenchUser", 15},
    {u"HKEY_USERS\\.DEFAULT\\Software\\BenchDefault", 10},
};

std::u16string Quoted(const std::u16string& text) {
  std::u16string out = u"\"";
  for (char16_t unit : text) {
    if (unit == u'\\' || unit == u'"') out += u'\\';
    out += unit;
  }
  return out + u"\"";
}

std::u16string HexBytes(const std::vector<std::uint8_t>& data) {
  static const char16_t kDigits[] = u"0123456789abcdef";
  std::u16string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i) out += u',';
    // reg import reads long lines, but keeps them shorter with a continuation.
    if (i && i % 24 == 0) out += u"\\\r\n  ";
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::u16string ValueLine(const GeneratedValue& value) {
  std::u16string line = value.name.empty() ? u"@" : Quoted(value.name);
  line += u'=';
  const bool plainText = value.type == 1 && value.data.size() >= 2 && value.data[value.data.size() - 1] == 0 &&
                         value.data[value.data.size() - 2] == 0;
  if (plainText) {
    std::u16string text;
    for (std::size_t i = 0; i + 2 < value.data.size(); i += 2)
      text += static_cast<char16_t>(value.data[i] | value.data[i + 1] << 8);
    line += Quoted(text);
  } else if (value.type == 4 && value.data.size() == 4) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "dword:%02x%02x%02x%02x", value.data[3], value.data[2], value.data[1],
                  value.data[0]);
    for (const char* at = digits; *at; ++at) line += static_cast<char16_t>(*at);
  } else {
    line += value.type == 3 ? u"hex:" : u"hex(" + std::u16string(1, u"0123456789abcdef"[value.type & 15]) + u"):";
    line += HexBytes(value.data);
  }
  return line + u"\r\n";
}

}  // namespace

bool WriteRegFile(const char* path, std::size_t keys, std::uint64_t seed) {
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  std::u16string out = u"\xFEFFWindows Registry Editor Version 5.00\r\n";
  auto flush = [&] {
    std::fwrite(out.data(), sizeof(char16_t), out.size(), file);
    out.clear();
  };
  for (const Tree& tree : kTrees) {
    GenerateRegistry(
        keys * tree.percent / 100, seed + tree.percent, false,
        [&](const std::u16string& keyPath) {
          out += u"\r\n[" + std::u16string(tree.top) + (keyPath.empty() ? u"" : u"\\" + keyPath) + u"]\r\n";
          if (out.size() > (1u << 16)) flush();
        },
        [&](const GeneratedValue& value) { out += ValueLine(value); });
  }
  flush();
  return std::fclose(file) == 0;
}

}  // namespace bench
