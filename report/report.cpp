#include "report/report.h"

#include <string>

#include "platform/console.h"
#include "platform/number_text.h"

namespace report {
namespace {

// The output is formatted here rather than by the C runtime's wide printf,
// whose "%s" reads a narrow string under MinGW's C99 stdio and a wide one
// under Microsoft's: building the text ourselves gives the same bytes on both.
void Write(const std::u16string& message) { platform::WriteOutput(message.data(), message.size()); }

}  // namespace

void ServiceManagerUnavailable() { Write(u"Can't open SCManager\n"); }
void StopRefused(std::uint32_t lastError) {
  Write(u"Can't stop. Error - " + platform::Decimal(static_cast<std::int32_t>(lastError)) + u"\n");
}
void ServiceStopped() { Write(u"Service stopped\n"); }
void ServiceDeleted() { Write(u"Service was deleted\n"); }

void KeyDeleted(const char16_t* key) { Write(u"[" + std::u16string(key) + u"]: DELETED\n\n"); }

void KeyNotDeleted(const char16_t* key, std::int32_t status) {
  Write(u"[" + std::u16string(key) + u"]: NOT DELETED, ERR = 0x" + platform::Hex(status) + u"\n\n");
}

void ValueDeleted(const char16_t* key, const char16_t* value) {
  Write(u"[" + std::u16string(key) + u"]:" + value + u": DELETED\n\n");
}

void ValueNotDeleted(const char16_t* key, const char16_t* value, std::int32_t status) {
  Write(u"[" + std::u16string(key) + u"]:" + value + u": NOT DELETED, ERR = 0x" + platform::Hex(status) + u"\n\n");
}

}  // namespace report
