// The Window menu's arrangements of GIMP's windows. Each window is moved as the user's drag
// would move it, so GIMP learns its new place and keeps it in the session it saves at its quit.
#include <algorithm>

#include "BackdropWindow.h"

std::vector<ArrangedWindow> BackdropWindow::ArrangeableWindows(HWND window) const {
  int minor = -1;
  const std::vector<GimpWindowFacts> facts = GimpWindows(window, &minor);
  const std::vector<ArrangeRole> roles = ArrangeRoles(facts, minor);
  std::vector<HWND> stack;  // the backdrop's children, top first
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    stack.push_back(child);
  std::vector<ArrangedWindow> found;
  for (size_t i = 0; i < facts.size(); ++i) {
    const HWND w = facts[i].window;
    // A window GIMP keeps hidden, or the user minimised, stays as it is.
    if (roles[i] == ArrangeRole::Untouched || !(GetWindowLongPtrW(w, GWL_STYLE) & WS_VISIBLE) ||
        IsIconic(w))
      continue;
    RECT frame;
    GetWindowRect(w, &frame);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&frame), 2);
    const auto at = std::find(stack.begin(), stack.end(), w);
    found.push_back({w, roles[i], frame, static_cast<int>(at - stack.begin()), facts[i].order});
  }
  // Images are tiled in the order GIMP opened them, the first at the top-left.
  std::sort(found.begin(), found.end(),
            [](const ArrangedWindow& a, const ArrangedWindow& b) { return a.order < b.order; });
  return found;
}

void BackdropWindow::Arrange(HWND window, UINT command) {
  const std::vector<ArrangedWindow> windows = ArrangeableWindows(window);
  RECT client;
  GetClientRect(window, &client);
  std::vector<const ArrangedWindow*> images, docks;
  const ArrangedWindow* toolbox = nullptr;
  for (const ArrangedWindow& w : windows) {
    if (w.role == ArrangeRole::Image) {
      images.push_back(&w);
    } else if (w.role == ArrangeRole::Toolbox && !toolbox) {
      toolbox = &w;
    } else if (w.role != ArrangeRole::Untouched) {
      docks.push_back(&w);
    }
  }
  auto sizeOf = [](const ArrangedWindow* w) { return SIZE{WidthOf(w->frame), HeightOf(w->frame)}; };
  std::vector<std::pair<HWND, RECT>> places;
  if (command == IDM_CASCADE) {
    // The lowest first, so that the window on top stays on top, furthest down and in full view.
    std::sort(images.begin(), images.end(),
              [](const ArrangedWindow* a, const ArrangedWindow* b) { return a->depth > b->depth; });
    std::vector<SIZE> sizes;
    for (const ArrangedWindow* w : images) sizes.push_back(sizeOf(w));
    const std::vector<RECT> placed = Cascade(client, sizes, GetSystemMetrics(SM_CYCAPTION));
    for (size_t i = 0; i < images.size(); ++i) places.push_back({images[i]->window, placed[i]});
  } else if (command == IDM_TILE) {
    // The toolbox and docks stay where they stand; the images share the room they leave.
    std::vector<RECT> aside;
    if (toolbox) aside.push_back(toolbox->frame);
    for (const ArrangedWindow* w : docks) aside.push_back(w->frame);
    const std::vector<RECT> cells =
        Grid(LargestFreeArea(client, aside), static_cast<int>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) places.push_back({images[i]->window, cells[i]});
  } else {
    const SIZE toolboxSize = toolbox ? sizeOf(toolbox) : SIZE{};
    std::vector<SIZE> dockSizes;
    // Stacked in the order they stand on the screen, top first.
    std::sort(docks.begin(), docks.end(), [](const ArrangedWindow* a, const ArrangedWindow* b) {
      return a->frame.top < b->frame.top;
    });
    for (const ArrangedWindow* w : docks) dockSizes.push_back(sizeOf(w));
    const GimpLayoutPlaces layout = GimpLayout(client, toolbox ? &toolboxSize : nullptr, dockSizes,
                                               static_cast<int>(images.size()));
    if (toolbox) places.push_back({toolbox->window, layout.toolbox});
    for (size_t i = 0; i < docks.size(); ++i) places.push_back({docks[i]->window, layout.docks[i]});
    for (size_t i = 0; i < images.size(); ++i)
      places.push_back({images[i]->window, layout.images[i]});
  }

  // The hook's snapping is for the user's drags: these places are meant to the pixel.
  tracker.SetSnap(0);
  for (const auto& [adopted, place] : places) {
    StopIfFailing();
    // A maximised window comes back to its normal state first, as Windows' own cascade does.
    if (IsZoomed(adopted)) ShowWindow(adopted, SW_SHOWNOACTIVATE);
    SetWindowPos(adopted, nullptr, place.left, place.top, WidthOf(place), HeightOf(place),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  tracker.SetSnap(static_cast<int>(settings.Get(kSnap)));
  UpdateScrollRanges(window);
}
