// The console report: every message the cleaner writes, each text in this one
// place, each message one write to standard output.
#pragma once

#include <cstdint>

namespace report {

void ServiceManagerUnavailable();                               // "Can't open SCManager\n"
void StopRefused(std::uint32_t lastError);                      // "Can't stop. Error - %d\n", signed decimal
void ServiceStopped();                                          // "Service stopped\n"
void ServiceDeleted();                                          // "Service was deleted\n"
void KeyDeleted(const char16_t* key);                           // "[%s]: DELETED\n\n"
void KeyNotDeleted(const char16_t* key, std::int32_t status);   // "[%s]: NOT DELETED, ERR = 0x%X\n\n"
void ValueDeleted(const char16_t* key, const char16_t* value);  // "[%s]:%s: DELETED\n\n"
void ValueNotDeleted(const char16_t* key, const char16_t* value, std::int32_t status);

}  // namespace report
