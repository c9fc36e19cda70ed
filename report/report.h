// The console report: every message the cleaner writes, each text in this one
// place, each message one write to standard output and, in a run with a log,
// the same text to the log (report/run_log.h). The messages that tell of a
// failure note it in the run's record (report/outcome.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace report {

// How a report names a key: by its path alone, or, for a hive that is not the
// running system's, by its place, "place\\path" (the hive file, then the path
// inside it), so that each line says which file the key came from. The
// hive's own key is the place alone.
std::u16string PlacedPath(const char16_t* place, const std::u16string& path);

void ServiceManagerUnavailable();                               // "Can't open SCManager\n"
void StopRefused(std::uint32_t lastError);                      // "Can't stop. Error - %d\n", signed decimal
void ServiceStopped();                                          // "Service stopped\n"
void ServiceDeleted();                                          // "Service was deleted\n"
void KeyDeleted(const char16_t* key);                           // "[%s]: DELETED\n\n"
void KeyNotDeleted(const char16_t* key, std::int32_t status);   // "[%s]: NOT DELETED, ERR = 0x%X\n\n"
void ValueDeleted(const char16_t* key, const char16_t* value);  // "[%s]:%s: DELETED\n\n"
void ValueNotDeleted(const char16_t* key, const char16_t* value, std::int32_t status);

// /scan: what a run started now would remove, in the run's own lines with
// "FOUND" in place of "DELETED"; a service with its state, a class filter
// with the list that holds it.
void ServiceFound(const char16_t* name, const char16_t* state);    // "Service [%s]: FOUND, %s\n"
void KeyFound(const char16_t* key);                                // "[%s]: FOUND\n\n"
void ValueFound(const char16_t* key, const char16_t* value);       // "[%s]:%s: FOUND\n\n"
void FilterFound(const char16_t* classKey, const char16_t* name);  // "[%s]:UpperFilters: FOUND, %s\n\n"
// A service that is marked for deletion, so that the next start removes it:
// "Service [%s]: PENDING RESTART, %s\n" with its state; its key, or a key of
// the product that holds DeleteFlag = 1: "[%s]: PENDING RESTART\n\n".
void ServicePendingRestart(const char16_t* name, const char16_t* state);
void KeyPendingRestart(const char16_t* key);

// The log alone, before its closing line, once per service the run marked for
// deletion that had not stopped: "Service [%s]: marked for deletion, not
// stopped; the restart finishes its removal\n". Standard output stays the
// report of the run without arguments.
void RemovalFinishesAtRestart(const char16_t* service);

// The hives a run loads (hives/). A profile that is gone is one line of the
// log and nothing else; a hive that would not load or unload is a failure,
// reported and logged. key is the hive's full name ("HKEY_USERS\<SID>").
void ProfileMissing(const std::u16string& sid, const std::u16string& file);  // log only
void ProfileBackupEntry(const std::u16string& name);                         // log only
void HiveMissing(const std::u16string& file);                                // log only
void HiveNotLoaded(const std::u16string& key, const std::u16string& file, std::int32_t status);
void HiveNotUnloaded(const std::u16string& key, std::int32_t status);
// A second entry that names the hive file of an earlier one (the same file
// by its identity, whatever the names): cleaned with that one. Log only.
void ProfileSameHive(const std::u16string& sid, const std::u16string& file, const std::u16string& firstSid);
// Another Windows' profile whose folder is on a drive other than that
// Windows' system drive, or on a share: which drive it is here cannot be
// told, so it is not cleaned, and that is a failure of the run.
void ProfileNotReached(const std::u16string& sid, const std::u16string& imagePath);
// One profile held for its own sweep: how long the load, the sweep and the
// unload took, in milliseconds. Log only.
void ProfileHeld(const std::u16string& sid, std::uint64_t load, std::uint64_t sweep, std::uint64_t unload);
// A hive that did not load under name because earlier keys of the names the
// run would have taken first are there (taken, "HKLM\KorvexOffline_SYSTEM"),
// hives an earlier run that was killed may have left loaded, holding the
// file: which to `reg unload` before the next run.
void EarlierHivesThere(const std::vector<std::u16string>& taken);
// A link key below a loaded hive, which the run does not enter, search or
// delete through, since its target names a key of the running system's
// registry: "Link [%s]: not followed, it leads out of the hive\n" with the
// key's full name (its place for a hive of another Windows), the log alone,
// once per run for each key. A key whose link flag cannot be read is taken
// for a link (platform::IsLinkKey) and named so too.
void LinkNotFollowed(const std::u16string& key);  // log only

// A run with arguments. The usage text is made by the command line's switch
// table (run/command_line.h); /? writes it to standard output. A run that
// refuses to start writes why to standard error, and nothing to standard
// output, so that whoever reads the output finds it empty.
void Usage(const std::u16string& usage);
void InvalidCommandLine(const std::u16string& reason, const std::u16string& usage);  // "reason\n\nusage"
void AlreadyRunning();
// The run's mutex could not be made in the administrators' namespace.
void RunLockNotMade(std::uint32_t error);
void LogNotOpened(const std::u16string& path, std::uint32_t error);
void UndoFileNotOpened(const std::u16string& path, std::uint32_t error);
void UndoFileIsTheLog(const std::u16string& path);
void NotAnUndoFile(const std::u16string& path);
// The backup file at path, or the folder object on its way, is owned by
// owner (not empty), or others may change it (owner empty).
void UndoFileOpenToOthers(const std::u16string& path, const std::u16string& object, bool folder,
                          const std::u16string& owner);
// The 32-bit build under WOW64, which would sweep only the 32-bit registry
// view: standard error, and the log when one is open, since this refusal
// comes after the log is opened.
void Wow64Refused();
// /offline <folder> names the running Windows, or a folder without the
// SYSTEM hive file systemHive, or one whose hive file Windows would not open
// (error, with its meaning for the codes a locked or absent volume gives).
void OfflineIsRunningSystem(const std::u16string& folder);
void OfflineHasNoSystemHive(const std::u16string& folder, const std::u16string& systemHive);
// The SYSTEM hive of folder did not load (its NOT LOADED line said why):
// nothing of that Windows is cleaned or listed. taken as for EarlierHivesThere.
void OfflineSystemNotLoaded(const std::u16string& folder, const std::vector<std::u16string>& taken);
void OfflineSystemHiveUnreadable(const std::u16string& systemHive, std::uint32_t error);

}  // namespace report
