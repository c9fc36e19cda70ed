#include "backup/reg_file.h"

#include "platform/registry.h"
#include "text/text_matching.h"

namespace backup {
namespace {

constexpr std::u16string_view kNewLine = u"\r\n";

// reg export's wrapping rule: after the comma that brings a line to this
// column or beyond, the line ends with a backslash and the next one starts
// two spaces in.
constexpr std::size_t kWrapColumn = 77;
constexpr std::u16string_view kContinuation = u"\\\r\n  ";
constexpr std::size_t kContinuationIndent = 2;

// Every text of the file's comments, each in this one place.
constexpr std::u16string_view kOneByteString =
    u"reg import cannot restore string data of one byte; the value below it was:";
constexpr std::u16string_view kNulInName =
    u"reg import cannot restore a value whose name holds a NUL; the value below it was:";
constexpr std::u16string_view kNoClosingNul =
    u"The next value's string data does not end in a NUL; reg import adds one.";
constexpr std::u16string_view kOddNoClosingNul =
    u"The next value's string data has an odd number of bytes and no closing NUL; reg import does not restore its "
    u"last byte.";
constexpr std::u16string_view kLinkKey = u"Symbolic link key, which reg import cannot make again: [";
constexpr std::u16string_view kLinkTarget = u"It points at this key, which is not followed: ";
constexpr std::u16string_view kUnwritableKey =
    u"A key whose name reg import cannot read back, with its subtree, is not in this file: [";
constexpr std::u16string_view kSecurityNotKept =
    u"Security descriptors are not kept: a key restored from this file gets the permissions of a new key there.";

struct KernelRoot {
  std::u16string_view kernel;
  std::u16string_view file;
};
constexpr KernelRoot kKernelRoots[] = {{u"\\REGISTRY\\MACHINE", u"HKEY_LOCAL_MACHINE"},
                                       {u"\\REGISTRY\\USER", u"HKEY_USERS"}};

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (text::FoldCase(text[i]) != text::FoldCase(prefix[i])) return false;
  return true;
}

char16_t Unit(const std::uint8_t* data, std::size_t index) {
  return static_cast<char16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

// Quoted text as reg import unescapes it. A CR or LF would end the line
// under the reader, so it goes as \r or \n.
void AppendEscaped(std::u16string& out, std::u16string_view text) {
  for (char16_t unit : text) {
    if (unit == u'\\' || unit == u'"') out += u'\\';
    if (unit == u'\r') out += u"\\r";
    else if (unit == u'\n') out += u"\\n";
    else out += unit;
  }
}

std::u16string NamePart(std::u16string_view name) {
  if (name.empty()) return u"@=";
  std::u16string part = u"\"";
  AppendEscaped(part, name);
  part += u"\"=";
  return part;
}

void AppendHexDigits(std::u16string& out, std::uint32_t number, int minimumDigits) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  int digits = 1;
  while (digits < 8 && (number >> (4 * digits)) != 0) ++digits;
  if (digits < minimumDigits) digits = minimumDigits;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kDigits[(number >> shift) & 0xF];
}

// A REG_SZ that "text" gives back exactly: one string, its NUL, nothing after,
// and no unit inside that the quoted form cannot carry on one line.
bool IsPlainText(std::uint32_t type, const std::uint8_t* data, std::size_t bytes) {
  if (type != platform::kRegSz || bytes < 2 || bytes % 2 != 0) return false;
  const std::size_t units = bytes / 2;
  for (std::size_t i = 0; i + 1 < units; ++i) {
    const char16_t unit = Unit(data, i);
    if (unit == 0 || unit == u'\r' || unit == u'\n') return false;
  }
  return Unit(data, units - 1) == 0;
}

// reg import closes string data whose last whole unit is not a NUL with one,
// written over an odd last byte.
bool EndsWithoutNul(std::uint32_t type, const std::uint8_t* data, std::size_t bytes) {
  return platform::IsStringType(type) && bytes >= 2 && Unit(data, bytes / 2 - 1) != 0;
}

// The data after the name part already in line; wrapped when asked, at the
// columns of the line as a whole.
void AppendData(std::u16string& line, std::uint32_t type, const std::uint8_t* data, std::size_t bytes, bool wrap) {
  if (IsPlainText(type, data, bytes)) {
    std::u16string text(bytes / 2 - 1, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = Unit(data, i);
    line += u'"';
    AppendEscaped(line, text);
    line += u'"';
    return;
  }
  if (type == platform::kRegDword && bytes == 4) {
    line += u"dword:";
    AppendHexDigits(line, data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24),
                    8);
    return;
  }
  if (type == platform::kRegBinary) {
    line += u"hex:";
  } else {
    line += u"hex(";
    AppendHexDigits(line, type, 1);
    line += u"):";
  }
  std::size_t column = line.size();
  for (std::size_t i = 0; i < bytes; ++i) {
    AppendHexDigits(line, data[i], 2);
    if (i + 1 == bytes) break;
    line += u',';
    column += 3;
    if (wrap && column >= kWrapColumn) {
      line += kContinuation;
      column = kContinuationIndent;
    }
  }
}

}  // namespace

std::u16string FileHeader() { return u"Windows Registry Editor Version 5.00\r\n\r\n"; }

std::u16string RealPlace(std::u16string_view kernelName) {
  for (const auto& root : kKernelRoots) {
    if (!StartsWithNoCase(kernelName, root.kernel)) continue;
    const std::u16string_view rest = kernelName.substr(root.kernel.size());
    if (!rest.empty() && rest[0] != u'\\') continue;
    return std::u16string(root.file) + std::u16string(rest);
  }
  return {};
}

bool CanWriteKeyLine(std::u16string_view path) {
  return !path.empty() && path.find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string_view::npos;
}

std::u16string KeyLine(std::u16string_view path) {
  std::u16string line = u"[";
  line += path;
  line += u"]";
  line += kNewLine;
  return line;
}

std::u16string CommentLine(std::u16string_view text) {
  std::u16string line = u"; ";
  for (char16_t unit : text) {
    if (unit == u'\r') line += u"\\r";
    else if (unit == u'\n') line += u"\\n";
    else if (unit == 0) line += u"\\0";
    else line += unit;
  }
  line += kNewLine;
  return line;
}

std::u16string ValueLines(std::u16string_view name, std::uint32_t type, const std::uint8_t* data, std::size_t bytes) {
  std::u16string line = NamePart(name);
  const bool nulInName = name.find(u'\0') != std::u16string_view::npos;
  if (nulInName || (platform::IsStringType(type) && bytes == 1)) {
    AppendData(line, type, data, bytes, false);
    return CommentLine(nulInName ? kNulInName : kOneByteString) + CommentLine(line);
  }
  AppendData(line, type, data, bytes, true);
  line += kNewLine;
  if (EndsWithoutNul(type, data, bytes)) return CommentLine(bytes % 2 != 0 ? kOddNoClosingNul : kNoClosingNul) + line;
  return line;
}

std::u16string ValueBlock(std::u16string_view path, std::u16string_view name, std::uint32_t type,
                          const std::uint8_t* data, std::size_t bytes) {
  if (!CanWriteKeyLine(path)) return UnwritableKeyLines(path);
  return KeyLine(path) + ValueLines(name, type, data, bytes) + std::u16string(kNewLine);
}

std::u16string LinkKeyLines(std::u16string_view path, std::u16string_view target) {
  std::u16string place = RealPlace(target);
  std::u16string shown(target);
  if (!place.empty()) shown += u" (" + place + u")";
  return CommentLine(std::u16string(kLinkKey) + std::u16string(path) + u"]") +
         CommentLine(std::u16string(kLinkTarget) + shown) + std::u16string(kNewLine);
}

std::u16string UnwritableKeyLines(std::u16string_view path) {
  return CommentLine(std::u16string(kUnwritableKey) + std::u16string(path) + u"]") + std::u16string(kNewLine);
}

std::u16string SecurityNotKeptLine() { return CommentLine(kSecurityNotKept); }

}  // namespace backup
