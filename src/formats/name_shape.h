// Whether a file name has one of the shapes our temporary names are made in,
// '#' standing for a run of decimal digits: the sweep of a stopped run's
// temporaries removes only names it can prove are ours.
#pragma once

#include <cstddef>
#include <string_view>

namespace sorana::formats {

template <typename Char>
bool HasNameShape(std::basic_string_view<Char> name, std::basic_string_view<Char> shape) {
  size_t at = 0;
  for (Char want : shape) {
    if (want != Char('#')) {
      if (at == name.size() || name[at] != want) return false;
      ++at;
      continue;
    }
    const size_t digits = at;
    while (at < name.size() && name[at] >= Char('0') && name[at] <= Char('9')) ++at;
    if (at == digits) return false;
  }
  return at == name.size();
}

template <typename Char, typename Shapes>
bool HasAnyNameShape(std::basic_string_view<Char> name, const Shapes& shapes) {
  for (std::basic_string_view<Char> shape : shapes) {
    if (HasNameShape(name, shape)) return true;
  }
  return false;
}

}  // namespace sorana::formats
