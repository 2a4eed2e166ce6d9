// How closing the backdrop quits GIMP when no window carries the title set in Setup: GIMP's own
// way to quit, read from what the system and GDK tell about its windows, never from their
// titles (GIMP translates them). Pure, so tests use it directly.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

// The minor version of GIMP 2 from its executable's file name ("gimp-2.10.exe" gives 10), or
// -1 for any other program: every GIMP 2 for Windows is named so.
inline int GimpMinorFromExeName(const char* fileName) {
  const char prefix[] = "gimp-2.";
  for (int i = 0; prefix[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(fileName[i])) != prefix[i]) return -1;
  }
  const char* digits = fileName + sizeof(prefix) - 1;
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return -1;
  char* end = nullptr;
  const long minor = std::strtol(digits, &end, 10);
  const char* ext = end;
  if (minor > 99 || ext[0] != '.' || std::tolower(static_cast<unsigned char>(ext[1])) != 'e' ||
      std::tolower(static_cast<unsigned char>(ext[2])) != 'x' ||
      std::tolower(static_cast<unsigned char>(ext[3])) != 'e' || ext[4]) {
    return -1;
  }
  return static_cast<int>(minor);
}

enum class QuitRule {
  Toolbox,       // GIMP 2.0 to 2.4: closing the toolbox quits
  ImageWindows,  // 2.6 on: image windows close one by one; the empty one left quits
};

// Anything from 2.6 on, and a version not known, takes the image-window rule: it never closes
// a toolbox or dock, which from 2.6 on would only lose that dock.
inline QuitRule QuitRuleFor(int minor) {
  return minor >= 0 && minor < 6 ? QuitRule::Toolbox : QuitRule::ImageWindows;
}

// What GIMP made a window for, from the role GIMP gives it (the hook library reads it inside
// GIMP's process): the same in every language, whatever window-type hint the user chose.
enum class WindowKind { Unknown, Image, Dock, Other, Toolbox };

// One adopted top-level window of GIMP's main process, as the close sees it.
struct GimpWindowFacts {
  HWND window;
  unsigned long order;  // adoption order: GDK creates GIMP's windows in this order
  bool toolWindow;      // WS_EX_TOOLWINDOW: the utility hint of the toolbox and docks (2.6 on)
  bool normalHint;      // minimise or maximise box: dialogs and utility windows lose both
  WindowKind kind;
};

// An image window: by its role where known; otherwise by its style, which GIMP's "Normal
// window" hint for docks and full-screen images (no boxes then) both mislead.
inline bool IsImageWindow(const GimpWindowFacts& w) {
  if (w.kind != WindowKind::Unknown) return w.kind == WindowKind::Image;
  return !w.toolWindow && w.normalHint;
}

// The window whose close brings GIMP nearer to quitting, or null when there is none.
// GIMP 2.0 to 2.4: the toolbox, the first window GIMP makes after its splash.
// 2.6 on: the newest image window (a normal window, not a utility one): a clean image closes,
// an unsaved one makes GIMP ask, and the last one left becomes the empty image window, whose
// close quits; in single-window mode it is the one window, whose close quits. Dialogs, among
// them GIMP's own questions, are never chosen.
inline HWND CloseTarget(const std::vector<GimpWindowFacts>& windows, QuitRule rule) {
  const GimpWindowFacts* best = nullptr;
  for (const GimpWindowFacts& w : windows) {
    if (rule == QuitRule::Toolbox) {
      if (!best || w.order < best->order) best = &w;
    } else if (IsImageWindow(w) && (!best || w.order > best->order)) {
      best = &w;
    }
  }
  return best ? best->window : nullptr;
}

// One close of the backdrop, carried out a step at a time as GIMP answers.
struct ClosePass {
  bool active = false;
  QuitRule rule = QuitRule::ImageWindows;
  HWND target = nullptr;              // the window last asked to close
  bool asked = false;                 // GIMP has opened a window since then (a question)
  DWORD answeredAt = 0;               // when its questions were last seen gone, 0 while shown
  DWORD idleSince = 0;                // since when GIMP answers with nothing done, 0 while busy
  int posts = 0;                      // closes asked for in this pass
  std::vector<HWND> before;           // the adopted windows when the close began
  std::vector<HWND> known;            // the adopted windows when the target was last asked
  unsigned long adoptionsAtPost = 0;  // the tracker's adoptions then
  std::vector<HWND> questions;        // GIMP's answer to that: its question, and what came of it
  std::vector<wchar_t> title;         // the target's title when it was asked to close
};

// A shown window that came since the target was last asked, with GDK's transient owner.
struct NewWindow {
  HWND window;
  HWND owner;
  bool mayAsk;  // its role is GIMP's message dialog, or not known
};

// GIMP's answer to the close: the message dialog it shows first once asked (its question,
// "Close ...?" or "Quit GIMP"), and what it opens for the window asked about or from that
// question (a Save dialog); never a window the user opened meanwhile, which must not hold the
// close up, then let it go on hours later. True while one of them stands.
inline bool NoteQuestions(ClosePass& pass, const std::vector<NewWindow>& shown) {
  auto listed = [&](HWND w) {
    return w && std::find(pass.questions.begin(), pass.questions.end(), w) != pass.questions.end();
  };
  const bool first = pass.questions.empty();
  for (bool grew = true; grew;) {
    grew = false;
    for (const NewWindow& w : shown) {
      if (listed(w.window) || !((first && w.mayAsk) || w.owner == pass.target || listed(w.owner)))
        continue;
      pass.questions.push_back(w.window);
      grew = true;
    }
  }
  return std::any_of(shown.begin(), shown.end(),
                     [&](const NewWindow& w) { return listed(w.window); });
}

// A close of the backdrop while a pass runs changes nothing, unless GIMP's question has been
// answered and the pass only waits to see what came of it: then it starts again.
inline bool CloseRestarts(const ClosePass& pass) {
  return !pass.active || (pass.asked && pass.answeredAt != 0);
}

// What the backdrop sees at one step of a pass.
struct CloseView {
  DWORD now;            // GetTickCount
  bool questionStands;  // GIMP's answer to this close (NoteQuestions) stands
  bool windowCame;      // a window was adopted since the target was asked and has gone
  bool targetStands;    // the last target still exists, in the backdrop
  bool targetRetitled;  // and its title changed: GIMP made it its empty image window
  HWND next;            // CloseTarget over GIMP's windows that stood when the close began
  bool gimpAnswers;     // GIMP's thread answered at once: it is not at work on anything
};

enum class CloseStep {
  Wait,  // GIMP is asking, or has not acted yet
  Post,  // ask pass.target to close
  Stop,  // the pass is over: cancelled, ignored, or nothing left to close
};

// GIMP closes the question before the window it asked about, and then works on the answer
// (Discard closes the image, Save saves it) without handling messages, however long that
// takes. The window standing while GIMP has answered at once for this long is the user's
// Cancel; a nested message loop inside that work answers only for a moment.
constexpr DWORD kAnswerSettleMs = 1000;
// A close that GIMP, answering all the while, neither acts on nor asks about (a modal dialog
// holds its grab) is ignored. GIMP at work on something else does not answer, and gets the
// time it takes.
constexpr DWORD kIgnoredAfterMs = 4000;

inline CloseStep AdvanceClose(ClosePass& pass, const CloseView& view) {
  if (view.questionStands) {  // the user is answering GIMP
    pass.asked = true;
    pass.answeredAt = 0;
    return CloseStep::Wait;
  }
  // A question answered between two steps was never seen standing, but it was asked.
  if (view.windowCame) pass.asked = true;
  if (pass.target && view.targetStands && !view.targetRetitled) {
    if (pass.asked && pass.answeredAt == 0) pass.answeredAt = view.now ? view.now : 1;
    if (!view.gimpAnswers) {  // at work on the answer or the close
      pass.idleSince = 0;
      return CloseStep::Wait;
    }
    if (pass.idleSince == 0) pass.idleSince = view.now ? view.now : 1;
    // Idle with the window as it was: after a question the user said Cancel, else the close
    // was ignored.
    const DWORD settle = pass.asked ? kAnswerSettleMs : kIgnoredAfterMs;
    return view.now - pass.idleSince < settle ? CloseStep::Wait : CloseStep::Stop;
  }
  // The target closed, or became the empty image window: on to the next. A toolbox gone means
  // GIMP is quitting, and its other windows go with it. Each window takes at most two closes
  // (an image, then the empty window it became), so a pass always ends.
  if (pass.target && pass.rule == QuitRule::Toolbox) return CloseStep::Stop;
  if (!view.next || pass.posts >= 2 * static_cast<int>(pass.before.size())) return CloseStep::Stop;
  pass.target = view.next;
  pass.asked = false;
  pass.answeredAt = 0;
  pass.idleSince = 0;
  pass.questions.clear();
  ++pass.posts;
  return CloseStep::Post;
}
