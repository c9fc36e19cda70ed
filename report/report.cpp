#include "report/report.h"

#include <string>

#include "platform/console.h"
#include "platform/number_text.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "report/outcome.h"
#include "report/run_log.h"

namespace report {
namespace {

// The output is formatted here rather than by the C runtime's wide printf,
// whose "%s" reads a narrow string under MinGW's C99 stdio and a wide one
// under Microsoft's: building the text ourselves gives the same bytes on both.
void Write(const std::u16string& message) {
  platform::WriteOutput(message.data(), message.size());
  LogReport(message.data(), message.size());
}

void WriteError(const std::u16string& message) { platform::WriteError(message.data(), message.size()); }

}  // namespace

std::u16string PlacedPath(const char16_t* place, const std::u16string& path) {
  if (!place) return path;
  return path.empty() ? std::u16string(place) : place + (u"\\" + path);
}

void ServiceManagerUnavailable() {
  NoteFailure();
  Write(u"Can't open SCManager\n");
}
void StopRefused(std::uint32_t lastError) {
  Write(u"Can't stop. Error - " + platform::Decimal(static_cast<std::int32_t>(lastError)) + u"\n");
}
void ServiceStopped() { Write(u"Service stopped\n"); }
void ServiceDeleted() { Write(u"Service was deleted\n"); }

void KeyDeleted(const char16_t* key) { Write(u"[" + std::u16string(key) + u"]: DELETED\n\n"); }

// A key or value that is already gone (0x2) is what the run wanted.
void KeyNotDeleted(const char16_t* key, std::int32_t status) {
  if (status != platform::kFileNotFound) NoteFailure();
  Write(u"[" + std::u16string(key) + u"]: NOT DELETED, ERR = 0x" + platform::Hex(status) + u"\n\n");
}

void ValueDeleted(const char16_t* key, const char16_t* value) {
  Write(u"[" + std::u16string(key) + u"]:" + value + u": DELETED\n\n");
}

void ValueNotDeleted(const char16_t* key, const char16_t* value, std::int32_t status) {
  if (status != platform::kFileNotFound) NoteFailure();
  Write(u"[" + std::u16string(key) + u"]:" + value + u": NOT DELETED, ERR = 0x" + platform::Hex(status) + u"\n\n");
}

void RemovalFinishesAtRestart(const char16_t* service) {
  const std::u16string line = u"Service [" + std::u16string(service) +
                              u"]: marked for deletion, not stopped; the restart finishes its removal\n";
  LogReport(line.data(), line.size());
}

void Usage(const std::u16string& usage) { Write(usage); }

void InvalidCommandLine(const std::u16string& reason, const std::u16string& usage) {
  WriteError(reason + u"\n\n" + usage);
}

void AlreadyRunning() { WriteError(u"Another Korvex Cleaner is running on this computer. Nothing was changed.\n"); }

void RunLockNotMade(std::uint32_t error) {
  WriteError(u"The lock that keeps two Korvex Cleaners from running at once cannot be made (error " +
             platform::Decimal(static_cast<std::int32_t>(error)) + u"). Nothing was changed.\n");
}

void ServiceFound(const char16_t* name, const char16_t* state) {
  Write(u"Service [" + std::u16string(name) + u"]: FOUND, " + state + u"\n");
}
void ServicePendingRestart(const char16_t* name, const char16_t* state) {
  Write(u"Service [" + std::u16string(name) + u"]: PENDING RESTART, " + state + u"\n");
}
void KeyPendingRestart(const char16_t* key) { Write(u"[" + std::u16string(key) + u"]: PENDING RESTART\n\n"); }
void KeyFound(const char16_t* key) { Write(u"[" + std::u16string(key) + u"]: FOUND\n\n"); }
void ValueFound(const char16_t* key, const char16_t* value) {
  Write(u"[" + std::u16string(key) + u"]:" + value + u": FOUND\n\n");
}
void FilterFound(const char16_t* classKey, const char16_t* name) {
  Write(u"[" + std::u16string(classKey) + u"]:UpperFilters: FOUND, " + name + u"\n\n");
}

void ProfileMissing(const std::u16string& sid, const std::u16string& file) {
  const std::u16string message = u"Profile " + sid + u" not cleaned: " + file + u" is missing\n";
  LogReport(message.data(), message.size());
}

void ProfileBackupEntry(const std::u16string& name) {
  const std::u16string message = u"Profile " + name +
                                 u" not cleaned: a backup of a profile's entry, which Windows does not load\n";
  LogReport(message.data(), message.size());
}

void HiveMissing(const std::u16string& file) {
  const std::u16string message = u"Hive " + file + u" not cleaned: it is missing\n";
  LogReport(message.data(), message.size());
}

void LinkNotFollowed(const std::u16string& key) {
  if (!NoteLinkLeft(key)) return;
  const std::u16string message = u"Link [" + key + u"]: not followed, it leads out of the hive\n";
  LogReport(message.data(), message.size());
}

void HiveNotLoaded(const std::u16string& key, const std::u16string& file, std::int32_t status) {
  NoteFailure();
  Write(u"[" + key + u"]: NOT LOADED from " + file + u", ERR = 0x" + platform::Hex(status) + u"\n\n");
}

void HiveNotUnloaded(const std::u16string& key, std::int32_t status) {
  NoteFailure();
  Write(u"[" + key + u"]: NOT UNLOADED, ERR = 0x" + platform::Hex(status) + u"\n\n");
}

void ProfileSameHive(const std::u16string& sid, const std::u16string& file, const std::u16string& firstSid) {
  const std::u16string message = u"Profile " + sid + u" not cleaned: " + file + u" is the hive of profile " +
                                 firstSid + u", cleaned with it\n";
  LogReport(message.data(), message.size());
}

void ProfileNotReached(const std::u16string& sid, const std::u16string& imagePath) {
  NoteFailure();
  Write(u"Profile " + sid + u" NOT CLEANED: its folder " + imagePath +
        u" is not on the system drive of the Windows cleaned, and which drive it is here cannot be told\n\n");
}

void ProfileHeld(const std::u16string& sid, std::uint64_t load, std::uint64_t sweep, std::uint64_t unload) {
  auto ms = [](std::uint64_t value) { return platform::Decimal(static_cast<std::int64_t>(value)) + u" ms"; };
  const std::u16string message = u"Profile " + sid + u" held " + ms(load + sweep + unload) + u": loaded in " +
                                 ms(load) + u", swept in " + ms(sweep) + u", unloaded in " + ms(unload) + u"\n";
  LogReport(message.data(), message.size());
}

namespace {

std::u16string UnloadFirst(const std::vector<std::u16string>& taken) {
  std::u16string commands;
  for (const std::u16string& key : taken)
    commands += (commands.empty() ? u"reg unload " : u", then reg unload ") + key;
  return commands;
}

}  // namespace

void EarlierHivesThere(const std::vector<std::u16string>& taken) {
  if (taken.empty()) return;
  Write(u"An earlier run may have left its hives loaded: " + UnloadFirst(taken) + u", then run again\n\n");
}

void LogNotOpened(const std::u16string& path, std::uint32_t error) {
  WriteError(u"The log file " + path + u" cannot be opened or created (error " +
             platform::Decimal(static_cast<std::int32_t>(error)) + u"). Nothing was changed.\n");
}

void UndoFileNotOpened(const std::u16string& path, std::uint32_t error) {
  WriteError(u"The backup file " + path + u" cannot be opened or created (error " +
             platform::Decimal(static_cast<std::int32_t>(error)) + u"). Nothing was changed.\n");
}

void UndoFileIsTheLog(const std::u16string& path) {
  WriteError(u"The backup file " + path + u" is the log file. Nothing was changed.\n");
}

void NotAnUndoFile(const std::u16string& path) {
  WriteError(u"The backup file " + path +
             u" is not a backup file: it does not begin as \"Windows Registry Editor Version 5.00\" in Unicode. "
             u"It was left as it was. Nothing was changed.\n");
}

void UndoFileOpenToOthers(const std::u16string& path, const std::u16string& object, bool folder,
                          const std::u16string& owner) {
  std::u16string reason;
  if (!folder)
    reason = owner.empty() ? u"users other than administrators may write, delete or replace it"
                           : u"it is owned by " + owner + u", not by administrators";
  else if (owner.empty())
    reason = u"users other than administrators may add, delete or replace files in the folder " + object +
             u" on its way";
  else reason = u"the folder " + object + u" on its way is owned by " + owner + u", not by administrators";
  WriteError(u"The backup file " + path + u" is not safe to import: " + reason +
             u". It was left as it was. Nothing was changed.\n");
}

void Wow64Refused() {
  const std::u16string message =
      u"This is the 32-bit Korvex Cleaner, which on 64-bit Windows sees only the 32-bit view of the registry. "
      u"Run x64\\korvex-cleaner.exe instead. Nothing was changed.\n";
  WriteError(message);
  LogReport(message.data(), message.size());
}

void OfflineIsRunningSystem(const std::u16string& folder) {
  WriteError(folder +
             u" is the Windows running now. /offline cleans a Windows that is not running, from WinPE or the "
             u"recovery environment. Nothing was changed.\n");
}

void OfflineHasNoSystemHive(const std::u16string& folder, const std::u16string& systemHive) {
  WriteError(folder + u" holds no Windows to clean: " + systemHive + u" is missing. Nothing was changed.\n");
}

void OfflineSystemNotLoaded(const std::u16string& folder, const std::vector<std::u16string>& taken) {
  std::u16string message = folder + u" was not cleaned: its SYSTEM hive does not load. Nothing was changed.\n";
  if (!taken.empty())
    message += u"An earlier run may have left its hives loaded: " + UnloadFirst(taken) + u", then run again.\n";
  WriteError(message);
}

void OfflineSystemHiveUnreadable(const std::u16string& systemHive, std::uint32_t error) {
  // What Windows says for the codes a volume that is locked or not there gives.
  const std::u16string meaning = error == 5 ? u": access denied" : error == 21 ? u": the device is not ready" : u"";
  WriteError(systemHive + u" cannot be read (error " + platform::Decimal(static_cast<std::int32_t>(error)) + meaning +
             u"): a volume locked by BitLocker must be unlocked first (manage-bde -unlock). Nothing was "
             u"changed.\n");
}

}  // namespace report
