// The in-memory files and folders as the other in-memory parts see them: the
// hive calls read and write hive files there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace memory {

// 0 when a file or folder is at path; ERROR_FILE_NOT_FOUND, or
// ERROR_PATH_NOT_FOUND when its folder is missing.
std::uint32_t PathStatus(std::u16string_view path);

// The error an open of the file at path fails with (FailFileOpen); none when
// it opens.
std::optional<std::uint32_t> OpenFailure(std::u16string_view path);

// The file's bytes replaced, as a program that holds it open writes it.
void RewriteFile(std::u16string_view path, std::string bytes);

}  // namespace memory
