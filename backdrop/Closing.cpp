// Closing the backdrop quits GIMP: through the window titled as Setup says, or else GIMP's own
// way, one window at a time, leaving every answer to GIMP's questions to the user.
#include <algorithm>
#include <cstring>
#include <map>

#include "BackdropWindow.h"
#include "vellamyhook.h"

namespace {

constexpr UINT kCloseStepMs = 200;
// How long a step waits for GIMP's thread to answer: one at work does not within this.
constexpr UINT kAnswerWaitMs = 100;

// The version of GIMP 2 a process runs, from its executable's name; -1 for other programs.
int GimpMinorOf(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return -1;
  char path[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  const BOOL read = QueryFullProcessImageNameA(process, 0, path, &length);
  CloseHandle(process);
  if (!read) return -1;
  const char* slash = std::strrchr(path, '\\');
  return GimpMinorFromExeName(slash ? slash + 1 : path);
}

std::vector<wchar_t> TitleOf(HWND window) {
  std::vector<wchar_t> title(static_cast<size_t>(GetWindowTextLengthW(window)) + 2);
  title.resize(
      static_cast<size_t>(GetWindowTextW(window, title.data(), static_cast<int>(title.size()))));
  return title;
}

bool Shown(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

}  // namespace

std::vector<GimpWindowFacts> BackdropWindow::GimpWindows(HWND window, int* minor) const {
  std::vector<GimpWindowFacts> found;
  std::map<DWORD, int> minors;  // one path read per process
  *minor = -1;
  for (HWND adopted : tracker.Distinct()) {
    char className[32] = {};
    if (!IsWindow(adopted) || GetAncestor(adopted, GA_PARENT) != window ||
        !GetClassNameA(adopted, className, sizeof(className)) ||
        std::strcmp(className, kGimpMainClass) != 0) {
      continue;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(adopted, &processId);
    const auto known = minors.find(processId);
    const int version =
        known != minors.end() ? known->second : (minors[processId] = GimpMinorOf(processId));
    // A plug-in's or another program's window; the GIMP served is known by its process,
    // whatever its file is named (a renamed or portable build, a process that cannot be read).
    if (version < 0 && !IsServedGimp(processId)) continue;
    if (version >= 0) *minor = version;
    const LONG_PTR style = GetWindowLongPtrW(adopted, GWL_STYLE);
    const INT_PTR kind = reinterpret_cast<INT_PTR>(GetPropA(adopted, kGimpKindProp));
    found.push_back({adopted, tracker.AdoptionOrder(adopted),
                     (GetWindowLongPtrW(adopted, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0,
                     (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) != 0,
                     kind == kKindImage                            ? WindowKind::Image
                     : kind == kKindDock                           ? WindowKind::Dock
                     : kind == kKindToolbox                        ? WindowKind::Toolbox
                     : kind == kKindOther || kind == kKindQuestion ? WindowKind::Other
                                                                   : WindowKind::Unknown});
  }
  return found;
}

void BackdropWindow::OnClose(HWND window) {
  const std::string title = settings.Get(kGimpName);
  HWND gimp = FindWindowExA(window, nullptr, kGimpMainClass, title.c_str());
  if (gimp) {
    PostMessageA(gimp, WM_CLOSE, 0, 0);  // auto-close follows once GIMP's windows are gone
    return;
  }
  // GIMP is working through this close or asking the user: the answer is theirs. The pass is
  // brought up to date first, so that a close right after an answer acts.
  if (closing.active) StepClose(window);
  if (!CloseRestarts(closing)) return;
  int minor = -1;
  const bool gimpHolds = !GimpWindows(window, &minor).empty();
  if (gimpHolds) {
    closing = ClosePass{};
    closing.active = true;
    closing.rule = QuitRuleFor(minor);
    closing.before = tracker.Distinct();
    closing.known = closing.before;
    StepClose(window);
    if (closing.posts > 0) {
      SetTimer(window, kCloseTimer, kCloseStepMs, nullptr);
      return;
    }
    EndClose(window);
  }
  // A GIMP served runs with windows none of whose closes would quit it: they stay.
  if (gimpHolds && GimpRuns()) return;
  // No GIMP runs any more: give the windows back to the desktop and close.
  tracker.UninstallHook();
  DestroyWindow(window);
}

void BackdropWindow::StepClose(HWND window) {
  int minor = -1;
  std::vector<GimpWindowFacts> standing;
  for (const GimpWindowFacts& w : GimpWindows(window, &minor)) {
    if (std::find(closing.before.begin(), closing.before.end(), w.window) != closing.before.end())
      standing.push_back(w);
  }
  CloseView view = {GetTickCount(), false, false, false, false, CloseTarget(standing, closing.rule),
                    false};
  std::vector<NewWindow> shown;
  for (HWND adopted : tracker.Distinct()) {
    if (IsWindow(adopted) && Shown(adopted) &&
        std::find(closing.known.begin(), closing.known.end(), adopted) == closing.known.end()) {
      const INT_PTR kind = reinterpret_cast<INT_PTR>(GetPropA(adopted, kGimpKindProp));
      shown.push_back(
          {adopted, TransientOwnerOf(adopted), kind == kKindQuestion || kind == kKindUnknown});
    }
  }
  // More adopted than stand: one came and went between two steps (a question answered at once).
  view.windowCame = tracker.Adoptions() - closing.adoptionsAtPost > shown.size();
  view.questionStands = NoteQuestions(closing, shown);
  if (closing.target) {
    view.targetStands =
        IsWindow(closing.target) && GetAncestor(closing.target, GA_PARENT) == window;
    view.targetRetitled = view.targetStands && TitleOf(closing.target) != closing.title;
  }
  // Only then is GIMP's thread asked: a message sent to it waits until GIMP is done with
  // whatever it is doing, and returns at once when it is idle.
  if (view.targetStands && !view.targetRetitled && !view.questionStands) {
    DWORD_PTR reply = 0;
    view.gimpAnswers = SendMessageTimeoutW(closing.target, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                           kAnswerWaitMs, &reply) != 0;
  }
  // Closed from the taskbar while minimised: GIMP's question must be seen to be answered.
  if (view.questionStands && IsIconic(window)) ShowWindow(window, SW_RESTORE);
  switch (AdvanceClose(closing, view)) {
    case CloseStep::Post:
      closing.known = tracker.Distinct();
      closing.adoptionsAtPost = tracker.Adoptions();
      closing.title = TitleOf(closing.target);
      PostMessageA(closing.target, WM_CLOSE, 0, 0);
      break;
    case CloseStep::Stop:
      EndClose(window);
      break;
    case CloseStep::Wait:
      break;
  }
}

// The pass is over; if GIMP is quitting, auto-close follows once its windows are gone.
void BackdropWindow::EndClose(HWND window) {
  KillTimer(window, kCloseTimer);
  closing.active = false;
}
