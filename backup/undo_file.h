// The undo file of a run with /backup <file>: before each deletion or rewrite
// the run saves here what it is about to take, in the .reg format that
// `reg import` reads, so that importing the file as any administrator puts it
// all back where it was. Each entry reaches the file, with no buffer in this
// process, before the change it protects is made; an entry that cannot be
// written stops that change, so nothing goes that the file does not hold.
//
// The file is appended to: a new or empty one starts with the byte-order mark
// and the "Windows Registry Editor Version 5.00" line; a file that already
// holds a run's entries gets more entries, and stays one file to import.
// Every key is written under its real place, "HKEY_LOCAL_MACHINE\..." or
// "HKEY_USERS\<SID>\...", never under an alias that names other keys for
// another account or machine; what a .reg file cannot hold (a link key, the
// keys' security) is written as ";" comments (backup/reg_file.h).
//
// Without an open undo file every Save is a no-op that returns 0, so the
// phases call them on every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace backup {

// Opens path for appending, creating it, and the folders above it that are
// missing, when it does not exist. Returns 0, or the Windows error of the
// open or of writing the file's head.
std::uint32_t OpenUndoFile(const char16_t* path);
void CloseUndoFile();

// The key behind key, about to be deleted whole, with its subtree. Returns 0
// when it is in the file (or no file is open), else why not: the failed
// read's or write's code, or ERROR_INVALID_NAME for a key whose real place
// cannot be had.
std::int32_t SaveKey(platform::RegKey key);

// The value name of key, about to be deleted or rewritten, under its key's
// line; key needs KEY_QUERY_VALUE. Returns as SaveKey does.
std::int32_t SaveValue(platform::RegKey key, const char16_t* name);
// The same for a key opened here, from root and path, only for reading.
std::int32_t SaveValueAt(platform::RegKey root, const char16_t* path, const char16_t* name);

// For a run on hives it loaded itself (/offline): ";" comments that say how
// to import what follows, since `reg import` of a key of a hive that is not
// loaded would make a key of that name instead: each hive loaded under the
// same name with `reg load`, the file imported, each unloaded again. hives
// holds each hive's key ("HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM") and
// its file. Returns as SaveKey does.
std::int32_t SaveHiveNote(const std::vector<std::pair<std::u16string, std::u16string>>& hives);

}  // namespace backup
