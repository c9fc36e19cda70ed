// Standard output. Each console message of the cleaner is one call.
#pragma once

#include <cstddef>

namespace platform {

// Writes one finished message. "\n" in text becomes the line end a Windows
// console program writes ("\r\n"). On a console the text appears as it is;
// redirected to a file or pipe it is written as UTF-8, so that names outside
// ASCII reach a log intact.
void WriteOutput(const char16_t* text, std::size_t length);

}  // namespace platform
