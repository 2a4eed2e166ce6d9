// The Window menu's order: titles in byte order, case-sensitive, equal titles in list order.
#pragma once

#include <cstring>

// True when an item titled `item` belongs after a new item titled `text`.
inline bool TitleSortsAfter(const char* item, const char* text) {
  // strcmp compares as unsigned characters, so upper case comes before lower case.
  return std::strcmp(item, text) > 0;
}
