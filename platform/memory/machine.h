// The in-memory machine the cleaner runs on in unit tests, benchmarks and
// fuzz targets: the one header that drives it. Reset it whole, build its
// registry from .reg text or value by value, bend it as a real machine can be
// bent (refused rights, failing calls, links, changes under a call, Windows'
// merged HKEY_CLASSES_ROOT in place of Wine's), and read back what the
// cleaner did: the registry, the console, the call logs, the services and the
// restart request. Its internals stay in platform/memory/.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/environment.h"
#include "platform/memory/memory.h"
#include "platform/memory/service_manager.h"
#include "platform/memory/session.h"

namespace memory {

// A fresh machine: the registry as ResetRegistry makes it, an empty console
// with the starting title and clock (ResetConsoleTitle), a fresh session, an
// empty service manager and a fresh environment (ResetEnvironment).
void ResetMachine();

// Console title and clock. After a reset the process has a console titled
// kStartingConsoleTitle, SetConsoleTitleW succeeds, and the clock reads
// kStartingTick and stands still until a test moves it.
inline constexpr std::u16string_view kStartingConsoleTitle = u"C:\\Windows\\system32\\cmd.exe";
inline constexpr std::uint64_t kStartingTick = 5'000'000;
void ResetConsoleTitle();
void SetStartingConsoleTitle(std::u16string_view title);
// From now on the process has no console, as one whose output is redirected
// and that has none attached: GetConsoleTitleW and SetConsoleTitleW fail.
void DetachConsole();
// From now on SetConsoleTitleW fails and leaves the title as it is, while
// GetConsoleTitleW still reads it.
void FailSetConsoleTitle();
std::u16string ConsoleTitle();
// Every SetConsoleTitleW call since the reset, refused ones included.
struct TitleSet {
  std::u16string title;
  bool accepted;  // the call's result
};
const std::vector<TitleSet>& ConsoleTitleSets();
// Moves the clock on now, or by milliseconds after each GetTickCount64 from
// now on (0, the start, keeps it still).
void AdvanceClock(std::uint64_t milliseconds);
void SetClockStep(std::uint64_t milliseconds);
// GetTickCount64 calls since the reset.
std::size_t TickCallCount();

// Creates the key, and those above it, when missing.
void CreateKey(std::u16string_view keyPath);

struct StoredValue {
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};
// The value as the registry keeps it; none when the key or value is missing.
std::optional<StoredValue> ReadValue(std::u16string_view keyPath, std::u16string_view name);

// The key's full path as the registry spells it ("HKEY_LOCAL_MACHINE\...");
// empty when the key is missing.
std::u16string StoredPath(std::u16string_view keyPath);

// Builds a large tree quickly: each value goes into the key made last.
class TreeBuilder {
 public:
  void Key(std::u16string_view keyPath);
  void Value(std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data);

 private:
  void* current_ = nullptr;
};

}  // namespace memory
