// The text of an undo file, in the format `reg export` writes and `reg import`
// reads back: the version line, then for each key a line "[path]" with its
// values below it and a blank line after them. Pure functions: nothing here
// reads the registry or writes a file.
//
// The file itself is UTF-16 little-endian and begins with a byte-order mark;
// its lines end with "\r\n". The text made here is UTF-16 code units with
// those line ends already in it and without the mark: whoever creates the
// file writes kByteOrderMark first, then each unit of FileHeader() and of
// every entry after it, low byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace backup {

inline constexpr char16_t kByteOrderMark = u'\xFEFF';

// "Windows Registry Editor Version 5.00" and a blank line: the start of the
// file, before its first entry.
std::u16string FileHeader();

// The key's place as a .reg file names it, from its own name as the kernel
// gives it (platform::KeyObjectName): "\REGISTRY\MACHINE\..." becomes
// "HKEY_LOCAL_MACHINE\..." and "\REGISTRY\USER\..." becomes "HKEY_USERS\...",
// the two prefixes matched without regard to case and the rest kept as it
// is. Anything else gives empty text: a key the file cannot name, which the
// caller cannot back up. Never HKEY_CLASSES_ROOT or HKEY_CURRENT_USER, which
// name other keys for another account or on another machine.
std::u16string RealPlace(std::u16string_view kernelName);

// Whether "[path]" reads back as that path: reg import splits lines at a CR
// or an LF wherever they stand, and a NUL would end the name.
bool CanWriteKeyLine(std::u16string_view path);

// "[path]\r\n". Only for a path that CanWriteKeyLine accepts.
std::u16string KeyLine(std::u16string_view path);

// One ";" comment line. A CR, LF or NUL in text is shown as \r, \n or \0,
// so that the comment stays one line.
std::u16string CommentLine(std::u16string_view text);

// The line or lines of one value, each ending "\r\n": `@=` for the default
// (empty) name, otherwise the name in quotes with `\` and `"` escaped and a
// CR or LF in it written \r or \n, as reg import reads them. Then the data:
// - "text", escaped the same way, for a REG_SZ that is exactly one string
//   and its closing NUL, with no NUL, CR or LF inside;
// - dword: and eight lower-case hex digits for a REG_DWORD of four bytes;
// - hex: for REG_BINARY, and hex(N): with N in lower-case hex for every
//   other type and size, each byte two lower-case digits, comma-separated,
//   wrapped after the comma that takes a line to 77 columns or more, with
//   ",\" at the end and two spaces before the next line, as reg export
//   wraps. Empty data is "hex(N):" alone.
// What reg import cannot restore is written as ";" comment lines instead:
// - a value whose name holds a NUL, which no quoted name can carry;
// - string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) of one single byte,
//   on which reg import fails (Wine's crashes, losing the rest of the file).
// String data whose last whole unit is not a NUL is written as it is, after
// a comment line that says what reg import makes of it: it adds a NUL unit,
// which takes the place of a last odd byte.
std::u16string ValueLines(std::u16string_view name, std::uint32_t type, const std::uint8_t* data, std::size_t bytes);

// A value alone under its key: the key line, the value's lines and a blank
// line. What a value deleted alone was, or a list value about to be
// rewritten. A path that CanWriteKeyLine refuses gives comment lines only.
std::u16string ValueBlock(std::u16string_view path, std::u16string_view name, std::uint32_t type,
                          const std::uint8_t* data, std::size_t bytes);

// Comment lines for what a .reg file cannot hold, each group ended by a blank
// line where it stands for a key:
// - a symbolic link key at path, which reg import cannot make, and its
//   target as its SymbolicLinkValue names it (with the target's real place
//   when it has one); the key it points at is not followed;
// - a key whose path CanWriteKeyLine refuses, left out with its subtree;
// - one line saying that the keys' security descriptors are not kept.
std::u16string LinkKeyLines(std::u16string_view path, std::u16string_view target);
std::u16string UnwritableKeyLines(std::u16string_view path);
std::u16string SecurityNotKeptLine();

}  // namespace backup
