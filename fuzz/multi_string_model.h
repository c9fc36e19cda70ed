// A deliberately plain second version of the filter-list edit, for the fuzz
// targets to hold the real one against: cut the list into elements, drop the
// equal ones, join the rest. It shares no code with the edit it checks.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace model {

struct Element {
  std::u16string_view units;  // without its NUL
  bool closed;                // false only for a last element that reaches the end unclosed
};

inline std::vector<Element> Split(std::u16string_view list) {
  std::vector<Element> elements;
  std::size_t start = 0;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i] == 0) {
      elements.push_back({list.substr(start, i - start), true});
      start = i + 1;
    }
  if (start < list.size()) elements.push_back({list.substr(start), false});
  return elements;
}

inline char16_t Lower(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit; }

inline bool Same(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// The list without the elements equal to name, an unclosed last one included.
inline std::u16string Remove(std::u16string_view list, std::u16string_view name) {
  if (name.empty()) return std::u16string(list);
  std::u16string out;
  for (const Element& element : Split(list)) {
    if (Same(element.units, name)) continue;
    out += element.units;
    if (element.closed) out += u'\0';
  }
  return out;
}

inline bool HoldsElement(std::u16string_view list, std::u16string_view name) {
  if (name.empty()) return false;
  for (const Element& element : Split(list))
    if (Same(element.units, name)) return true;
  return false;
}

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

}  // namespace model
