// The undo file of a run with /backup <file>: before each deletion or rewrite
// the run saves here what it is about to take, in the .reg format that
// `reg import` reads, so that importing the file as any administrator puts
// back what a .reg file can hold. Each entry is written and flushed to the
// disk (FlushFileBuffers), with no buffer in this process, before the change
// it protects is made; an entry that cannot be written or flushed stops that
// change. An entry whose write fails part of the way is cut off again
// (SetEndOfFile at its start), so that it cannot swallow the next one; when
// that cut fails too, the file is closed and every later entry fails with the
// write's error, so nothing more is deleted. Every entry begins with a line
// end of its own, so that a torn line before it cannot take its first line
// in, and a file whose end is not that of a whole entry (a blank line), left
// by a run that was killed in the middle of one, gets its last line ended
// and a blank line before anything else is appended.
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
// The file is imported by an administrator, with an administrator's rights:
// anyone else who could write it, or replace it, could have any key written
// then. So the file, and every folder OpenUndoFile makes for it, is created
// with platform::CreateProtectedDirectoryW's security (Administrators and
// SYSTEM, nobody else), opened sharing reading only, and refused
// (kUndoFileOpenToOthers, the file left as it was) when
// platform::FileSecurity shows that another account
// - owns the file, or may write, delete or rename it, or change its
//   permissions or owner;
// - owns a folder on its way, from the drive's (or share's) root down to the
//   file's own folder, or may delete or rename what that folder holds
//   (FILE_DELETE_CHILD) or, below the root, the folder itself, or change its
//   permissions or owner;
// - may add files to the file's own folder.
// Creating folders is allowed on the way, as the root of C: lets every
// authenticated user: a folder that stands where the path needs one is its
// maker's, and refused by its owner. A drive that keeps no permissions (FAT,
// exFAT) refuses every file. A folder an administrator made by hand below the
// root of C: inherits the root's "Authenticated Users: Modify" and is refused.
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
// ... and when another account could change the file or replace it (above).
constexpr std::uint32_t kUndoFileOpenToOthers = 0x20000003;

// What kUndoFileOpenToOthers found: the file or the folder, and its owner when
// that is another account (empty when the owner is trusted, or none is kept,
// and others may change it).
struct UndoFileRefusal {
  std::u16string path;
  bool folder = false;
  std::u16string owner;
};

// Opens path for reading and writing, creating it, and the folders above it
// that are missing (CreateUndoFolders), when it does not exist; log, when not
// null, is the identity of the run's open log. The folders on its way are
// checked before the file is opened, and the file itself through its handle.
// It is compared with the log by its identity, not its name: by path first
// (platform::IdentityOfPath), since the log's handle, which writes, keeps
// this open from sharing, then by the handle (platform::IdentityOfFile); and
// it is looked at before anything is written to it. Returns 0;
// kUndoFileOpenToOthers (with refusal filled in), kUndoFileIsTheLog or
// kNotAnUndoFile, and the file is left as it was; or the Windows error of a
// folder's security, the open, the identity or of writing the file's head.
std::uint32_t OpenUndoFile(const char16_t* path, const platform::FileIdentity* log,
                           UndoFileRefusal* refusal = nullptr);
// The missing folders of path, each made as CreateProtectedDirectoryW makes
// them; a run makes them before its log, which may lie in one of them and
// would make them with the security of the folder above.
void CreateUndoFolders(const char16_t* path);
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

// The class filter list value name of key, about to be rewritten without
// filters, the product's filters it held, as SaveValue saves it, after ";"
// comment lines: importing the list puts those filters back, and a filter
// whose driver file is missing stops Windows at boot (0x7B) when the class is
// the disks' or the volumes'. Each filter is named with its driver file and
// whether the file was there (platform::FileStatus): the ImagePath of the
// service's key beside the class keys (...\Services\<filter>, as this file
// saved it before the run deleted it, else as it is), with "\SystemRoot\",
// "%SystemRoot%\", "%windir%\" or a relative path taken from windowsFolder;
// else System32\drivers\<filter>.sys there. windowsFolder is that of the
// Windows the hives belong to; null for the running one
// (SystemWindowsDirectory).
std::int32_t SaveFilterList(platform::RegKey key, const char16_t* name, const std::vector<std::u16string>& filters,
                            const char16_t* windowsFolder = nullptr);

// For a run on hives it loaded itself (/offline): ";" comments that say how
// to import what follows, since `reg import` of a key of a hive that is not
// loaded would make a key of that name instead: each hive loaded under the
// same name with `reg load`, the file imported, each unloaded again. hives
// holds each hive's key ("HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM") and
// its file. Returns as SaveKey does.
std::int32_t SaveHiveNote(const std::vector<std::pair<std::u16string, std::u16string>>& hives);

}  // namespace backup
