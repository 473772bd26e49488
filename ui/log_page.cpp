// The Log page: a panel with the log type and the advice, the script memo, the pack button.
#include "ui/log_page.h"

#include "ui/keyboard.h"
#include "ui/window_class.h"

namespace ui {
namespace {

constexpr wchar_t kClassName[] = L"UmbrascopeLogPage";
constexpr int kFirstTypeId = 201;  // three radio buttons: 201, 202, 203
constexpr int kPackId = 210;
constexpr const wchar_t* kTypeNames[] = {L"Ferrox Include File", L"Avenger script", L"ComboFix script"};

}  // namespace

struct LogPage::State {
  LogPage& owner;
  UiContext* context = nullptr;
  HWND window = nullptr;
  HWND typeGroup = nullptr;
  HWND types[3] = {};
  HWND infoGroup = nullptr;
  HWND infoLabel = nullptr;
  HWND memo = nullptr;
  HWND pack = nullptr;
  HFONT memoFont = nullptr;

  explicit State(LogPage& o) : owner(o) {}
  ~State() {
    if (memoFont) DeleteObject(memoFont);
  }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return ForwardingProc<State>(hwnd, msg, wp, lp);
  }

  int S(int pixels) const { return context->Scale(pixels); }

  HWND Child(DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    return CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), context->instance, nullptr);
  }

  void CreateChildren() {
    // Creation order is the Tab order: the three types, the memo, the button.
    typeGroup = Child(0, L"BUTTON", L"Type of log", BS_GROUPBOX | WS_GROUP, 0);
    for (int i = 0; i < 3; ++i)
      types[i] = Child(0, L"BUTTON", kTypeNames[i], BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0),
                       kFirstTypeId + i);
    SendMessageW(types[0], BM_SETCHECK, BST_CHECKED, 0);
    infoGroup = Child(0, L"BUTTON", L"Information", BS_GROUPBOX | WS_GROUP, 0);
    infoLabel = Child(0, L"STATIC", L"Choose a log type...", SS_LEFT | SS_NOPREFIX, 0);
    memo = Child(WS_EX_CLIENTEDGE, L"EDIT", L"",
                 ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_HSCROLL | WS_VSCROLL |
                     WS_GROUP | WS_TABSTOP,
                 0);
    SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
    LetTabLeave(memo);
    memoFont =
        CreateFontW(-S(13), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
    SendMessageW(memo, WM_SETFONT, reinterpret_cast<WPARAM>(memoFont), FALSE);
    pack = Child(0, L"BUTTON", L"Pack Suspicious Files", BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP, kPackId);
  }

  void LayOut(int width, int height) {
    // Top panel (89 high, border 8): the type group 265 wide, an 8-pixel divider, the information
    // group in the rest. Bottom panel 38 high with the button at its top right. Memo between.
    const int panel = S(89), border = S(8), bottom = S(38);
    const int groupTop = border, groupHeight = panel - 2 * border;
    const int typeWidth = S(265);
    MoveWindow(typeGroup, border, groupTop, typeWidth, groupHeight, TRUE);
    for (int i = 0; i < 3; ++i)
      MoveWindow(types[i], border + S(8), groupTop + S(15) + i * S(17), typeWidth - S(16), S(17), TRUE);
    const int infoLeft = border + typeWidth + S(8);
    const int infoWidth = width - border - infoLeft;
    MoveWindow(infoGroup, infoLeft, groupTop, infoWidth > 0 ? infoWidth : 0, groupHeight, TRUE);
    MoveWindow(infoLabel, infoLeft + S(8), groupTop + S(16), infoWidth > S(16) ? infoWidth - S(16) : 0,
               groupHeight > S(24) ? groupHeight - S(24) : 0, TRUE);
    const int memoHeight = height - panel - bottom;
    MoveWindow(memo, 0, panel, width, memoHeight > 0 ? memoHeight : 0, TRUE);
    MoveWindow(pack, width - border - S(129), height - bottom + S(7), S(129), S(25), TRUE);
  }

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_SIZE:
        LayOut(LOWORD(lp), HIWORD(lp));
        return 0;
      case WM_COMMAND: {
        const int id = LOWORD(wp);
        if (HIWORD(wp) == BN_CLICKED && id >= kFirstTypeId && id < kFirstTypeId + 3) {
          if (owner.OnLogTypeClick) owner.OnLogTypeClick();
          return 0;
        }
        if (HIWORD(wp) == BN_CLICKED && id == kPackId) {
          if (owner.OnPack) owner.OnPack();
          return 0;
        }
        break;
      }
      case WM_CTLCOLORSTATIC:
        // A read-only edit asks as a static would; the script stays on the window colour.
        if (reinterpret_cast<HWND>(lp) == memo) {
          SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
          SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
          return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
      default:
        break;
    }
    return DefWindowProcW(window, msg, wp, lp);
  }
};

LogPage::LogPage() : state_(std::make_unique<State>(*this)) {}
LogPage::~LogPage() = default;

void LogPage::Create(HWND parent, UiContext& context) {
  state_->context = &context;
  RegisterPageClass(context.instance, kClassName, &State::Proc);
  CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Log", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0,
                  0, 0, parent, nullptr, context.instance, state_.get());
  if (state_->window) state_->CreateChildren();
}

HWND LogPage::Window() const { return state_->window; }

bool LogPage::PreTranslate(MSG& msg) {
  if (msg.message == WM_KEYDOWN && msg.wParam == 'A' && msg.hwnd == state_->memo &&
      GetKeyState(VK_CONTROL) < 0) {
    SendMessageW(state_->memo, EM_SETSEL, 0, -1);
    return true;
  }
  return false;
}

int LogPage::LogType() const {
  for (int i = 0; i < 3; ++i)
    if (SendMessageW(state_->types[i], BM_GETCHECK, 0, 0) == BST_CHECKED) return i;
  return 0;
}

void LogPage::SetLines(const std::vector<std::u16string>& lines) {
  std::wstring text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) text += L"\r\n";
    text.append(lines[i].begin(), lines[i].end());
  }
  // A window text ends at its first zero character; the scripts write them as \0 already, so one
  // left here would only cut the script short.
  for (wchar_t& c : text)
    if (c == L'\0') c = L' ';
  SetWindowTextW(state_->memo, text.c_str());
}

std::wstring LogPage::Text() const {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(state_->memo)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(state_->memo, text.data(), static_cast<int>(text.size()))));
  return text;
}

void LogPage::SetInformation(const std::wstring& text) { SetWindowTextW(state_->infoLabel, text.c_str()); }

}  // namespace ui
