// The Help page: a read-only rich edit, 8 pixels inside the page, filled from the DETAILSRTF
// resource.
#include "ui/help_page.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>

#include "ui/keyboard.h"
#include "ui/window_class.h"

namespace ui {
namespace {

constexpr wchar_t kClassName[] = L"UmbrascopeHelpPage";

struct Reader {
  const char* data;
  DWORD size;
  DWORD offset = 0;
};

DWORD CALLBACK ReadChunk(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  auto* reader = reinterpret_cast<Reader*>(cookie);
  const DWORD n = std::min<DWORD>(static_cast<DWORD>(wanted), reader->size - reader->offset);
  std::memcpy(buffer, reader->data + reader->offset, n);
  reader->offset += n;
  *given = static_cast<LONG>(n);
  return 0;
}

// The resource is only read, never copied: it lives as long as the module.
void LoadDocument(HINSTANCE instance, HWND edit) {
  HRSRC found = FindResourceW(instance, L"DETAILSRTF", L"RTF");
  if (!found) return;
  HGLOBAL loaded = LoadResource(instance, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(instance, found);
  if (!data || size == 0) return;
  Reader reader{static_cast<const char*>(data), size};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&reader);
  stream.pfnCallback = &ReadChunk;
  SendMessageW(edit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
}

}  // namespace

struct HelpPage::State {
  UiContext* context = nullptr;
  HWND window = nullptr;
  HWND document = nullptr;

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = AttachedObject<State>(hwnd, msg, lp);
    if (self && msg == WM_SIZE && self->document) {
      const int border = self->context->Scale(8);
      const int width = LOWORD(lp) - 2 * border, height = HIWORD(lp) - 2 * border;
      MoveWindow(self->document, border, border, std::max(width, 0), std::max(height, 0), TRUE);
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
};

HelpPage::HelpPage() : state_(std::make_unique<State>()) {}
HelpPage::~HelpPage() = default;

void HelpPage::Create(HWND parent, UiContext& context) {
  state_->context = &context;
  RegisterPageClass(context.instance, kClassName, &State::Proc);
  CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Help", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0,
                  0, 0, 0, parent, nullptr, context.instance, state_.get());
  if (!state_->window) return;
  // Without the rich edit library the page simply stays empty.
  state_->document = CreateWindowExW(
      WS_EX_CLIENTEDGE, MSFTEDIT_CLASS, L"",
      WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0,
      0, state_->window, nullptr, context.instance, nullptr);
  if (state_->document) LoadDocument(context.instance, state_->document);
  LetTabLeave(state_->document);
}

HWND HelpPage::Window() const { return state_->window; }
HWND HelpPage::Document() const { return state_->document; }

}  // namespace ui
