// The registry calls the cleaner makes, one function per Win32 call, with the
// same arguments and the same status codes. Text is UTF-16 (`char16_t`); the
// Windows backend passes it through unchanged, the in-memory backend keeps it.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class RegKey : std::uintptr_t {};

// The predefined roots carry the same values as on Windows (sign-extended on
// 64-bit builds), so both backends agree on them without a function call.
constexpr RegKey PredefinedRoot(std::uint32_t value) {
  return RegKey(static_cast<std::uintptr_t>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value))));
}
constexpr RegKey kClassesRoot = PredefinedRoot(0x80000000u);
constexpr RegKey kCurrentUser = PredefinedRoot(0x80000001u);
constexpr RegKey kLocalMachine = PredefinedRoot(0x80000002u);
constexpr RegKey kUsers = PredefinedRoot(0x80000003u);
constexpr RegKey kCurrentConfig = PredefinedRoot(0x80000005u);

// A predefined root and the name Windows gives it.
struct RootRow {
  RegKey key;
  const char16_t* name;
};

// The five roots, in the order the cleaner sweeps them.
inline constexpr RootRow kRootTable[] = {{kClassesRoot, u"HKEY_CLASSES_ROOT"},
                                         {kCurrentConfig, u"HKEY_CURRENT_CONFIG"},
                                         {kCurrentUser, u"HKEY_CURRENT_USER"},
                                         {kLocalMachine, u"HKEY_LOCAL_MACHINE"},
                                         {kUsers, u"HKEY_USERS"}};

// Status codes as the registry returns them.
constexpr std::int32_t kSuccess = 0;
constexpr std::int32_t kFileNotFound = 2;
constexpr std::int32_t kAccessDenied = 5;
constexpr std::int32_t kInvalidParameter = 87;
constexpr std::int32_t kMoreData = 234;
constexpr std::int32_t kNoMoreItems = 259;
constexpr std::int32_t kKeyDeleted = 1018;

// Value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegLink = 6;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegQword = 11;

// The types whose data is text: one string, or a run of them.
constexpr bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Access rights.
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kReadControl = 0x00020000;
constexpr std::uint32_t kKeyRead = 0x00020019;

// RegOpenKeyExW(parent, subKey, 0, access, result). A null or empty subKey
// opens a new handle to parent itself.
std::int32_t RegOpenKeyExW(RegKey parent, const char16_t* subKey, std::uint32_t access, RegKey* result);

// RegQueryInfoKeyW with only the counts and maxima the cleaner uses; any
// output may be null. Lengths are in characters without the terminator,
// the data maximum in bytes.
std::int32_t RegQueryInfoKeyW(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLength,
                              std::uint32_t* values, std::uint32_t* maxValueNameLength, std::uint32_t* maxValueBytes);

// RegEnumKeyExW with no class and no time. nameChars is the capacity on
// entry and the length without terminator on success.
std::int32_t RegEnumKeyExW(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameChars);

// RegEnumValueW. data may be null when dataBytes is null.
std::int32_t RegEnumValueW(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameChars,
                           std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataBytes);

// RegQueryValueExW. A null data buffer asks for the type and size only.
std::int32_t RegQueryValueExW(RegKey key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataBytes);

// RegSetValueExW with reserved 0. String data whose last unit is not a NUL
// takes the unit just past it along when that one is a NUL (Windows' help
// for callers that leave out the terminator), so the caller's buffer must
// hold that unit, and a caller that wants the data stored as it is must make
// sure it is not a NUL.
std::int32_t RegSetValueExW(RegKey key, const char16_t* name, std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t dataBytes);

std::int32_t RegDeleteValueW(RegKey key, const char16_t* name);

std::int32_t RegCloseKey(RegKey key);

// A symbolic link key itself, which every other open passes through to the
// key it points at: RegOpenKeyExW with REG_OPTION_OPEN_LINK. name is one key
// name; a key that is not a link opens as it would without the option.
std::int32_t RegOpenLinkKeyW(RegKey parent, const char16_t* name, std::uint32_t access, RegKey* result);

// Deletes the key behind an open handle (NtDeleteKey, which needs DELETE on
// the handle): the key itself, never a key it points at. A key with subkeys
// is refused (ERROR_ACCESS_DENIED); a key deleted already is deleted again
// without complaint.
std::int32_t DeleteOpenKey(RegKey key);

// The value of a link key that names its target, of type kRegLink.
inline constexpr const char16_t* kSymbolicLinkValue = u"SymbolicLinkValue";

// Two questions about symbolic link keys, which a user can plant in their own
// hive. Neither is a single Win32 call. The search asks IsLinkKey for every
// key whose name matches a pattern, so that no link is deleted through its
// name; KeyObjectName wherever a key's real place matters rather than the
// path that led to it.

// True when the key behind key, opened as itself (RegOpenLinkKeyW), is a
// symbolic link key: the key's own link flag, which only a key created as a
// link (REG_OPTION_CREATE_LINK) has, from NtQueryKey's KeyFlagsInformation
// (bit 1 of KEY_FLAGS_INFORMATION.KeyFlags). A value named SymbolicLinkValue,
// of whatever type, makes no key a link. A handle opened through the link
// stands for its target and answers false. Where the system does not answer
// that query (Wine: STATUS_INVALID_PARAMETER), the one sign left is read
// instead: the key holds a REG_LINK "SymbolicLinkValue", which a normal key
// holding such a value fools there. A key whose flag cannot be read counts as
// a link: one that will not open as itself, a handle without KEY_QUERY_VALUE,
// a query that fails (other than for a missing SymbolicLinkValue), since a
// link taken for a key is deleted through its name, target and all. The one
// link test of the walk, the whole-key removal and the export.
bool IsLinkKey(RegKey key);
// The same for the subkey name of parent, opened as itself for the question
// with KEY_QUERY_VALUE; a key that is there but does not open so (refused)
// answers true as well, a name that is not there false.
bool IsLinkKey(RegKey parent, const char16_t* name);

// The key's own full name as the kernel knows it (NtQueryKey), which is the
// same whatever chain of links led to it; empty when it cannot be had.
std::u16string KeyObjectName(RegKey key);

}  // namespace platform
