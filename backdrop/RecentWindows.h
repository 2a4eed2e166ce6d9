// Ctrl+F6's order, as in Windows' multi-document programs and Alt+Tab: windows in the order of
// their last activation; while Ctrl is held each press walks one further, and only the release
// makes the window walked to the most recent.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

template <typename Window>
class RecentWindows {
 public:
  // A window became active. The walk's own activations change nothing until it ends.
  void Activated(Window window) {
    if (!walk.empty()) return;
    order.erase(std::remove(order.begin(), order.end(), window), order.end());
    order.insert(order.begin(), window);
    if (order.size() > kRemembered) order.pop_back();
  }

  // The most recently activated window, or a null one.
  Window Front() const { return order.empty() ? Window{} : order.front(); }

  // Of `windows`, the one activated last; the first given when none ever was; null for none.
  Window MostRecentOf(const std::vector<Window>& windows) const {
    for (Window w : order) {
      if (std::find(windows.begin(), windows.end(), w) != windows.end()) return w;
    }
    return windows.empty() ? Window{} : windows.front();
  }

  // One press, in `current`: the next (or, going back, the previous) of `windows` in the order of
  // their use; windows never activated follow, in the order given. The first press from the most
  // recent goes to the one used before it; from any other window, to the most recent. Returns a
  // null window when there is none.
  Window Step(const std::vector<Window>& windows, Window current, bool back) {
    auto listed = [&](Window w) {
      return std::find(windows.begin(), windows.end(), w) != windows.end();
    };
    if (!walk.empty()) {
      // Windows that went since the last press leave the walk, which keeps its place: from a
      // window that went it goes on to the one after it.
      std::vector<Window> kept;
      size_t place = 0;
      bool gone = false;
      for (size_t i = 0; i < walk.size(); ++i) {
        if (i == at) {
          place = kept.size();
          gone = !listed(walk[i]);
        }
        if (listed(walk[i])) kept.push_back(walk[i]);
      }
      walk = kept;
      if (!walk.empty()) {
        const size_t n = walk.size();
        at = back ? (place + n - 1) % n : (gone ? place : place + 1) % n;
        return walk[at];
      }
    }
    for (Window w : order) {
      if (listed(w)) walk.push_back(w);
    }
    for (Window w : windows) {
      if (std::find(walk.begin(), walk.end(), w) == walk.end()) walk.push_back(w);
    }
    if (walk.empty()) return Window{};
    const size_t n = walk.size();
    const bool fromFront = walk.front() == current;
    at = back ? n - 1 : (fromFront ? 1 % n : 0);
    return walk[at];
  }

  // Ctrl released: the window walked to is the most recent.
  void Release() {
    if (walk.empty()) return;
    const Window last = walk[std::min(at, walk.size() - 1)];
    walk.clear();
    Activated(last);
  }

  bool Walking() const { return !walk.empty(); }

 private:
  static constexpr size_t kRemembered = 256;
  std::vector<Window> order;  // most recent first
  std::vector<Window> walk;   // the order frozen at the first press
  size_t at = 0;
};
