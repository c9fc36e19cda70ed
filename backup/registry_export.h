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
// A key right below a key named "Services" (a service's own key) is written
// without its DeleteFlag value: the service manager writes it into the key of
// a service it is told to delete, by this run or an earlier one, and imported
// back it would have the service deleted again at the next start.
//
// The value buffers are sized by RegQueryInfoKeyW and sized again when a
// value grew meanwhile (ERROR_MORE_DATA), a few times at most. A subkey that
// is gone between its enumeration and its open (ERROR_FILE_NOT_FOUND, as
// Plug and Play's keys come and go) has the whole tree read once more; gone
// again, the export fails with kKeyDeleted, never with ERROR_FILE_NOT_FOUND,
// which a caller takes for "key is not there, nothing to save". Returns
// kSuccess, or the status of the first call that failed for good (an open,
// a query, an enumeration), or kNotEnoughMemory; then out is left as it was.
std::int32_t ExportKeyTree(platform::RegKey key, std::u16string_view path, std::u16string& out);

// The value name of key, whose real place is path, alone under its key line
// (ValueBlock), as RegQueryValueExW reads it now. Returns kSuccess, the
// query's failure (kFileNotFound when the value is not there), or
// kNotEnoughMemory; then out is left as it was.
std::int32_t ExportValue(platform::RegKey key, std::u16string_view path, const char16_t* name, std::u16string& out);

}  // namespace backup
