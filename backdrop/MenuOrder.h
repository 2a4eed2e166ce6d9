// The Window menu's order: titles in byte order, case-sensitive, equal titles in list order.
#pragma once

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

// True when an item titled `item` belongs after a new item titled `text`.
inline bool TitleSortsAfter(const char* item, const char* text) {
  // strcmp compares as unsigned characters, so upper case comes before lower case.
  return std::strcmp(item, text) > 0;
}

// The positions of `titles` in the menu's order.
inline std::vector<size_t> TitleOrder(const std::vector<std::string>& titles) {
  std::vector<size_t> order(titles.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return TitleSortsAfter(titles[b].c_str(), titles[a].c_str());
  });
  return order;
}

// As in the Window menu of Windows' multi-document programs: the first nine windows carry the
// numbers 1 to 9, each its own access key; the rest are listed by "More windows...".
constexpr size_t kNumberedWindows = 9;
inline std::string NumberedItem(size_t number, const std::string& title) {
  return "&" + std::to_string(number) + " " + title;
}
