// UTF-16 to UTF-8, for output that leaves the console. A lone surrogate,
// which the registry allows in names, becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string ToUtf8(std::u16string_view text);

}  // namespace platform
