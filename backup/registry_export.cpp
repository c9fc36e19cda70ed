#include "backup/registry_export.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>

#include "backup/reg_file.h"
#include "platform/buffer.h"
#include "platform/unique_handle.h"
#include "text/text_matching.h"

namespace backup {
namespace {

using platform::RegKey;

// No key name is longer than 255 characters.
constexpr std::uint32_t kLongestKeyName = 255;

// How many times a read is made again because the value grew between the
// sizing and the read. Another program would have to grow it that often in
// that short a time for the entry to fail.
constexpr int kMostRereads = 8;

// The name and data buffers of one key's values, at least as large as asked.
class ValueBuffers {
 public:
  bool Fit(std::uint32_t nameChars, std::uint32_t dataBytes) {
    if (nameChars > nameCapacity_ || !name_) {
      name_ = platform::TryAllocate<char16_t>(nameChars);
      nameCapacity_ = name_ ? nameChars : 0;
    }
    // Never a null data buffer, which would ask for the size alone.
    dataBytes = std::max<std::uint32_t>(dataBytes, 1);
    if (dataBytes > dataCapacity_ || !data_) {
      data_ = platform::TryAllocate<std::uint8_t>(dataBytes);
      dataCapacity_ = data_ ? dataBytes : 0;
    }
    return name_ && data_;
  }
  char16_t* name() const { return name_.get(); }
  std::uint8_t* data() const { return data_.get(); }
  std::uint32_t nameCapacity() const { return nameCapacity_; }
  std::uint32_t dataCapacity() const { return dataCapacity_; }

 private:
  std::unique_ptr<char16_t[]> name_;
  std::unique_ptr<std::uint8_t[]> data_;
  std::uint32_t nameCapacity_ = 0;
  std::uint32_t dataCapacity_ = 0;
};

// Sizes the buffers for the longest name and the largest data the key holds
// now, and for at least dataBytes.
std::int32_t SizeFor(RegKey key, ValueBuffers& buffers, std::uint32_t dataBytes) {
  std::uint32_t longestName = 0;
  std::uint32_t largestData = 0;
  const std::int32_t status = platform::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &longestName, &largestData);
  if (status != platform::kSuccess) return status;
  if (!buffers.Fit(longestName + 1, std::max(largestData, dataBytes))) return kNotEnoughMemory;
  return platform::kSuccess;
}

// The service manager writes DeleteFlag = 1 into the key of a service it is
// told to delete; imported back, it has the service deleted at the next start.
constexpr char16_t kDeleteFlag[] = u"DeleteFlag";

// Whether path is a key right below a key named Services: a service's own key.
bool IsServiceKey(std::u16string_view path) {
  const std::size_t last = path.rfind(u'\\');
  if (last == std::u16string_view::npos) return false;
  const std::size_t parent = path.rfind(u'\\', last - 1);
  const std::u16string_view name = path.substr(parent + 1, last - parent - 1);
  return name.size() == 8 && text::EqualsNoCase(std::u16string(name).c_str(), u"Services");
}

// skipDeleteFlag: a service's key, whose DeleteFlag is left out.
std::int32_t AppendValues(RegKey key, std::u16string& out, bool skipDeleteFlag) {
  ValueBuffers buffers;
  std::int32_t status = SizeFor(key, buffers, 0);
  if (status != platform::kSuccess) return status;
  int rereads = 0;
  for (std::uint32_t index = 0;;) {
    std::uint32_t nameChars = buffers.nameCapacity();
    std::uint32_t bytes = buffers.dataCapacity();
    std::uint32_t type = platform::kRegNone;
    status = platform::RegEnumValueW(key, index, buffers.name(), &nameChars, &type, buffers.data(), &bytes);
    if (status == platform::kNoMoreItems) return platform::kSuccess;
    if (status == platform::kMoreData && rereads < kMostRereads) {
      ++rereads;
      status = SizeFor(key, buffers, bytes);
      if (status != platform::kSuccess) return status;
      continue;
    }
    if (status != platform::kSuccess) return status;
    const std::u16string_view name(buffers.name(), nameChars);
    if (!skipDeleteFlag || name.size() != std::size(kDeleteFlag) - 1 ||
        !text::EqualsNoCase(std::u16string(name).c_str(), kDeleteFlag))
      out += ValueLines(name, type, buffers.data(), bytes);
    rereads = 0;
    ++index;
  }
}

// The target a link key names, when key is one (platform::IsLinkKey): its
// REG_LINK "SymbolicLinkValue". A link whose target cannot be read is still a
// link, with an empty target.
bool IsLink(RegKey key, std::u16string& target) {
  if (!platform::IsLinkKey(key)) return false;
  target.clear();
  std::uint32_t type = platform::kRegNone;
  std::uint32_t bytes = 0;
  if (platform::RegQueryValueExW(key, platform::kSymbolicLinkValue, &type, nullptr, &bytes) != platform::kSuccess ||
      type != platform::kRegLink)
    return true;
  auto data = platform::TryAllocate<std::uint8_t>(std::max<std::uint32_t>(bytes, 1));
  if (data && platform::RegQueryValueExW(key, platform::kSymbolicLinkValue, &type, data.get(), &bytes) ==
                  platform::kSuccess) {
    for (std::uint32_t i = 0; i + 1 < bytes; i += 2) target += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  return true;
}

// key (not a link) at path, then each subkey. name is one buffer shared by
// every level: a subkey's name is needed only until it is open and its path
// made.
std::int32_t AppendTree(RegKey key, std::u16string& path, std::u16string& out, char16_t* name) {
  if (!CanWriteKeyLine(path)) {
    out += UnwritableKeyLines(path);
    return platform::kSuccess;
  }
  out += KeyLine(path);
  std::int32_t status = AppendValues(key, out, IsServiceKey(path));
  if (status != platform::kSuccess) return status;
  out += u"\r\n";
  std::u16string target;
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t length = kLongestKeyName + 1;
    status = platform::RegEnumKeyExW(key, index, name, &length);
    if (status == platform::kNoMoreItems) return platform::kSuccess;
    if (status != platform::kSuccess) return status;
    platform::UniqueRegKey subKey;
    status = platform::RegOpenLinkKeyW(key, name, platform::kKeyRead, subKey.put());
    if (status != platform::kSuccess) return status;
    const std::size_t parentLength = path.size();
    path += u'\\';
    path.append(name, length);
    if (IsLink(subKey.get(), target)) out += LinkKeyLines(path, target);
    else status = AppendTree(subKey.get(), path, out, name);
    path.resize(parentLength);
    if (status != platform::kSuccess) return status;
  }
}

}  // namespace

std::int32_t ExportKeyTree(RegKey key, std::u16string_view path, std::u16string& out) {
  const std::size_t start = out.size();
  std::int32_t status = platform::kSuccess;
  for (int reads = 0; reads < 2; ++reads) {
    out.resize(start);
    out += SecurityNotKeptLine();
    std::u16string target;
    if (IsLink(key, target)) {
      out += LinkKeyLines(path, target);
      return platform::kSuccess;
    }
    std::u16string place(path);
    char16_t name[kLongestKeyName + 1];
    status = AppendTree(key, place, out, name);
    // A subkey enumerated and gone before it opened: read the tree again.
    if (status != platform::kFileNotFound) break;
  }
  if (status == platform::kFileNotFound) status = platform::kKeyDeleted;
  if (status != platform::kSuccess) out.resize(start);
  return status;
}

std::int32_t ExportValue(RegKey key, std::u16string_view path, const char16_t* name, std::u16string& out) {
  std::uint32_t type = platform::kRegNone;
  std::uint32_t bytes = 0;
  std::int32_t status = platform::RegQueryValueExW(key, name, &type, nullptr, &bytes);
  for (int reads = 0; status == platform::kSuccess; ++reads) {
    auto data = platform::TryAllocate<std::uint8_t>(std::max<std::uint32_t>(bytes, 1));
    if (!data) return kNotEnoughMemory;
    status = platform::RegQueryValueExW(key, name, &type, data.get(), &bytes);
    if (status == platform::kSuccess) {
      out += ValueBlock(path, name ? std::u16string_view(name) : std::u16string_view(), type, data.get(), bytes);
      break;
    }
    // The value grew since it was sized; bytes is its size now.
    if (status == platform::kMoreData && reads < kMostRereads) status = platform::kSuccess;
  }
  return status;
}

}  // namespace backup
