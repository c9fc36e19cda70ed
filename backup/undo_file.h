// The undo file of a run with /backup <file>: before each deletion or rewrite
// the run saves here what it is about to take, in the .reg format that
// `reg import` reads, so that importing the file as any administrator puts
// back what a .reg file can hold. Each entry is written and flushed to the
// disk (FlushFileBuffers), with no buffer in this process, before the change
// it protects is made; an entry that cannot be written or flushed stops that
// change. An entry whose write fails part of the way is cut off again
// (SetEndOfFile at its start), so that it cannot swallow the next one.
//
// What the format cannot hold is written as ";" comment lines only, and is
// still deleted or rewritten (backup/reg_file.h): a symbolic link key (its
// name and target; the key it points at is not touched), a key whose name a
// key line cannot carry (CR, LF or NUL in it) with its subtree, a value whose
// name holds a NUL, string data of one single byte, and every key's security
// descriptor. Such entries can only be named in the file, not brought back.
//
// The file is appended to: a new or empty one starts with the byte-order mark
// and the "Windows Registry Editor Version 5.00" line; a file that already
// begins so, in UTF-16LE with an even size, gets more entries, and stays one
// file to import. Any other file (notes, an ANSI REGEDIT4 file, an odd size)
// is refused and left as it was. Every key is written under its real place,
// "HKEY_LOCAL_MACHINE\..." or "HKEY_USERS\<SID>\...", never under an alias
// that names other keys for another account or machine.
//
// A FlushFileBuffers that succeeds means the system has handed the data to
// the disk or the share's server; a disk with a write cache that ignores the
// flush, or a server that acknowledges before it writes, can break that.
//
// Without an open undo file every Save is a no-op that returns 0, so the
// phases call them on every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"

namespace backup {

// What OpenUndoFile returns, beside Windows errors (bit 29 set, as for an
// application's own codes), when the file is the run's log under whatever
// name, and when it is not empty and does not begin as an undo file does.
constexpr std::uint32_t kUndoFileIsTheLog = 0x20000001;
constexpr std::uint32_t kNotAnUndoFile = 0x20000002;

// Opens path for reading and writing, creating it, and the folders above it
// that are missing, when it does not exist; log, when not null, is the
// identity of the run's open log. The file is compared by its identity
// (platform::IdentityOfFile), not its name, and looked at before anything is
// written to it. Returns 0; kUndoFileIsTheLog or kNotAnUndoFile, and the file
// is left as it was; or the Windows error of the open, of the identity or of
// writing the file's head.
std::uint32_t OpenUndoFile(const char16_t* path, const platform::FileIdentity* log);
void CloseUndoFile();

// The key behind key, about to be deleted whole, with its subtree. Returns 0
// when it is in the file (or no file is open), else why not: the failed
// read's or write's code, or ERROR_INVALID_NAME for a key whose real place
// cannot be had. A key at or below one this file already holds whole from
// this run (told by real place, without regard to case) is not written
// again: the first entry has it as it was before the run, and importing the
// file gives that back. So a service's key, saved before its deletion, is
// not saved a second time by the key phase with the DeleteFlag that the
// deletion wrote into it, which would have the service deleted again at the
// next start after the import.
std::int32_t SaveKey(platform::RegKey key);
// The same for the key at path below root, opened here only for reading; the
// open's failure when it cannot be (kFileNotFound when it is not there).
// Nothing is opened when no file is open.
std::int32_t SaveKeyAt(platform::RegKey root, const char16_t* path);

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
