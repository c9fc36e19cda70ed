// Standard output, standard error and the console window's title. Each console message of the
// cleaner is one call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Writes one finished message. "\n" in text becomes the line end a Windows
// console program writes ("\r\n"). On a console the text appears as it is;
// redirected to a file or pipe it is written as UTF-8, so that names outside
// ASCII reach a log intact.
void WriteOutput(const char16_t* text, std::size_t length);

// The same for standard error, where a run that refuses to start says why, so
// that standard output stays empty for whoever reads it.
void WriteError(const char16_t* text, std::size_t length);

// The longest title a console keeps, in characters, with its NUL.
constexpr std::uint32_t kMaxConsoleTitle = 32768;

// GetConsoleTitleW: copies the title of the console the process is attached
// to into buffer, cut to size - 1 characters and closed by a NUL, and returns
// the number of characters copied. 0 when the process has no console (its
// output redirected and no console attached) or the title is empty.
std::uint32_t GetConsoleTitleW(char16_t* buffer, std::uint32_t size);

// SetConsoleTitleW; nonzero on success, 0 when there is no console.
int SetConsoleTitleW(const char16_t* title);

// GetTickCount64: milliseconds since the system started.
std::uint64_t GetTickCount64();

}  // namespace platform
