// Reads what a deletion is about to take and turns it into undo-file text
// (backup/reg_file.h), through the platform's registry calls only. Each
// function appends one whole entry to out, or nothing: a status other than
// kSuccess means the entry could not be had, and the deletion it was to
// protect must not be made.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace backup {

// Returned when a buffer for a value could not be had (ERROR_NOT_ENOUGH_MEMORY).
constexpr std::int32_t kNotEnoughMemory = 8;

// The key behind key, whose real place is path ("HKEY_LOCAL_MACHINE\..." or
// "HKEY_USERS\...", see RealPlace), with its whole subtree: first the line
// that says security descriptors are not kept, then each key's line, its
// values in the order RegEnumValueW gives them, each with its exact type and
// bytes, and a blank line; then its subkeys the same way, in the order
// RegEnumKeyExW gives them.
//
// Each subkey is opened as itself (RegOpenLinkKeyW) with KEY_READ and named
// by its parent's place and its own name, so every key is written under its
// real place. A link key (platform::IsLinkKey: the key's own link flag) is
// written as the comment lines of LinkKeyLines with the target its
// "SymbolicLinkValue" names, and not gone into; so is key itself when it is
// one. A normal key holding a REG_LINK "SymbolicLinkValue" is a normal key,
// written with that value. A key whose place cannot be a key line is written as the comment
// of UnwritableKeyLines, without its subtree.
//
// The value buffers are sized by RegQueryInfoKeyW and sized again when a
// value grew meanwhile (ERROR_MORE_DATA), a few times at most. Returns
// kSuccess, or the status of the first call that failed for good (an open,
// a query, an enumeration), or kNotEnoughMemory; then out is left as it was.
std::int32_t ExportKeyTree(platform::RegKey key, std::u16string_view path, std::u16string& out);

// The value name of key, whose real place is path, alone under its key line
// (ValueBlock), as RegQueryValueExW reads it now. Returns kSuccess, the
// query's failure (kFileNotFound when the value is not there), or
// kNotEnoughMemory; then out is left as it was.
std::int32_t ExportValue(platform::RegKey key, std::u16string_view path, const char16_t* name, std::u16string& out);

}  // namespace backup
