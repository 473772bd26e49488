// uidriver: a test-only Windows console program that drives the desktop program from outside,
// as a user would: it finds windows, reads list views, tab controls and texts, presses buttons
// and takes screenshots. It uses windows.h directly because it is a test tool, never shipped.
//
// Usage: uidriver.exe COMMAND [options]; one JSON line per command on standard output,
// exit status 0 on success, 1 on failure (a JSON line {"error": ...}), 2 on bad arguments.
//   windows                                     every top-level window (debugging)
//   wait-window --window T [--class C]          waits until it exists and is visible; its HWND
//   wait-gone --window T [--class C]            waits until no such window is visible
//   text --window T                             the window's title and every child control's text
//   list-items --window T [--index N]           the N-th list view: columns, groups, rows
//   list-select --window T [--index N] --row R  selects and focuses row R
//   list-dblclick --window T [--index N] --row R  selects row R and double-clicks it
//   list-check --window T [--index N] --row R --on|--off   ticks or clears a tick box
//   tab-items --window T [--index N]            the tab texts and the selected tab
//   tab-select --window T [--index N] --tab K|--text T   selects a tab as a click would
//   click --window T --button TEXT              presses a button (text with or without '&')
//   radio --window T --button TEXT              presses a radio button, then reports its state
//   syscommand --window T --id ID               posts WM_SYSCOMMAND ID
//   close --window T                            posts WM_CLOSE
//   screenshot --window T --out F.bmp [--method client|window|print]   a 24-bit BMP of the
//                                               client area (default), the whole window from the
//                                               screen, or the window painted by PrintWindow
//   message-box [--window T] [--contains S]     waits for a dialog (#32770); its texts and buttons
//   clipboard                                   the text on the clipboard
// Common options: --exe NAME (only windows of processes with this image name), --timeout S
// (seconds to wait for the window; 10 by default), --visible (count only visible controls
// for --index), --any (hidden top-level windows too).
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string command;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;

  bool Has(const std::string& key) const { return values.count(key) > 0 || flags.count(key) > 0; }
  std::string Get(const std::string& key, const std::string& fallback = "") const {
    auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  }
  std::string Need(const std::string& key) const {
    auto it = values.find(key);
    if (it == values.end()) throw std::invalid_argument("missing --" + key);
    return it->second;
  }
  int Int(const std::string& key, int fallback) const {
    auto it = values.find(key);
    return it == values.end() ? fallback : std::stoi(it->second, nullptr, 0);
  }
};

const std::set<std::string> kFlags = {"visible", "any", "on", "off"};

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// A JSON string literal of a UTF-16 text (UTF-8); quotes, backslashes, zero characters and
// other controls escaped, surrogate pairs kept together.
std::string JsonUtf16(const std::wstring& text) {
  std::string out = "\"";
  std::wstring run;
  for (wchar_t c : text) {
    if (c != L'"' && c != L'\\' && c >= 0x20) {
      run += c;
      continue;
    }
    out += Narrow(run);
    run.clear();
    char buf[8];
    if (c == L'"' || c == L'\\') {
      buf[0] = '\\', buf[1] = static_cast<char>(c), buf[2] = 0;
    } else if (c == L'\n') {
      std::snprintf(buf, sizeof buf, "\\n");
    } else if (c == L'\r') {
      std::snprintf(buf, sizeof buf, "\\r");
    } else if (c == L'\t') {
      std::snprintf(buf, sizeof buf, "\\t");
    } else {
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
    }
    out += buf;
  }
  return out + Narrow(run) + "\"";
}

std::string Hex(HWND hwnd) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "\"0x%llx\"", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
  return buf;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[256] = {};
  GetClassNameW(hwnd, buf, 256);
  return buf;
}

// WM_GETTEXT with a time limit, so a busy program cannot hang the driver.
std::wstring TextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &got);
  text.resize(got);
  return text;
}

std::wstring WithoutAmpersands(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, 10000, &result))
    throw Failure("the window did not answer message " + std::to_string(msg));
  return static_cast<LRESULT>(result);
}

std::set<DWORD> ProcessIds(const std::wstring& exe) {
  std::set<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry{sizeof(entry)};
  for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
    if (lstrcmpiW(entry.szExeFile, exe.c_str()) == 0) ids.insert(entry.th32ProcessID);
  CloseHandle(snap);
  return ids;
}

struct TopLevel {
  HWND hwnd;
  std::wstring title, cls;
  DWORD pid;
  bool visible;
};

std::vector<TopLevel> TopLevels(const Options& o) {
  std::vector<TopLevel> all;
  EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        reinterpret_cast<std::vector<TopLevel>*>(lp)->push_back(
            {hwnd, TextOf(hwnd), ClassOf(hwnd), pid, IsWindowVisible(hwnd) != FALSE});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  std::vector<TopLevel> out;
  std::set<DWORD> pids;
  const bool byExe = o.Has("exe");
  if (byExe) pids = ProcessIds(Widen(o.Get("exe")));
  for (auto& w : all) {
    if (byExe && !pids.count(w.pid)) continue;
    if (!o.Has("any") && !w.visible) continue;
    out.push_back(w);
  }
  return out;
}

// The top-level window named by --hwnd, or by --window (title) and --class, or (for dialogs)
// the first that `accept` takes; waits up to --timeout seconds.
HWND FindWindowOrWait(const Options& o, const std::function<bool(const TopLevel&)>& accept = nullptr) {
  if (o.Has("hwnd")) {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(o.Get("hwnd"), nullptr, 0)));
    if (!IsWindow(hwnd)) throw Failure("no window " + o.Get("hwnd"));
    return hwnd;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<int>(o.Int("timeout", 10) * 1000));
  const std::wstring title = Widen(o.Get("window")), cls = Widen(o.Get("class"));
  const bool anyTitle = !o.Has("window");
  while (true) {
    for (auto& w : TopLevels(o)) {
      if (!anyTitle && w.title != title) continue;
      if (!cls.empty() && w.cls != cls) continue;
      if (accept && !accept(w)) continue;
      return w.hwnd;
    }
    if (Clock::now() >= deadline)
      throw Failure("no window" + (anyTitle ? std::string() : " titled \"" + o.Get("window") + "\"") +
                    (cls.empty() ? "" : " of class " + o.Get("class")) + " after " + o.Get("timeout", "10") + " s");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM lp) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&out));
  return out;
}

// The --index-th (0 by default) descendant of the class; --visible counts only visible ones.
HWND Control(const Options& o, HWND top, const wchar_t* cls) {
  const int wanted = o.Int("index", 0);
  int seen = 0;
  for (HWND child : Children(top)) {
    if (ClassOf(child) != cls) continue;
    if (o.Has("visible") && !IsWindowVisible(child)) continue;
    if (seen++ == wanted) return child;
  }
  throw Failure("the window has no " + Narrow(cls) + " number " + std::to_string(wanted) + " (it has " +
                std::to_string(seen) + ")");
}

// A block of memory inside the program that owns a control, for messages that carry pointers
// (the system copies no structures between processes for common-control messages).
class Remote {
 public:
  explicit Remote(HWND window, size_t size = 1 << 16) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                           FALSE, pid);
    if (!process_) throw Failure("cannot open process " + std::to_string(pid) + ": error " +
                                 std::to_string(GetLastError()));
    base_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!base_) {
      CloseHandle(process_);
      throw Failure("cannot allocate memory in process " + std::to_string(pid));
    }
  }
  ~Remote() {
    if (!leak_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    CloseHandle(process_);
  }
  Remote(const Remote&) = delete;
  Remote& operator=(const Remote&) = delete;

  char* At(size_t offset) const { return base_ + offset; }
  size_t Size() const { return size_; }
  void Write(size_t offset, const void* data, size_t n) {
    if (!WriteProcessMemory(process_, base_ + offset, data, n, nullptr)) throw Failure("WriteProcessMemory failed");
  }
  void Read(size_t offset, void* data, size_t n) const {
    if (!ReadProcessMemory(process_, base_ + offset, data, n, nullptr)) throw Failure("ReadProcessMemory failed");
  }
  std::wstring ReadText(size_t offset, size_t maxChars) const {
    std::wstring text(maxChars, L'\0');
    Read(offset, text.data(), maxChars * sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), maxChars));
    return text;
  }
  // For a posted message the program reads the block later: it must outlive the driver.
  void Leak() { leak_ = true; }

 private:
  HANDLE process_ = nullptr;
  char* base_ = nullptr;
  size_t size_;
  bool leak_ = false;
};

constexpr size_t kTextOffset = 4096;
constexpr int kTextChars = 8192;

std::wstring ListText(HWND list, Remote& mem, int row, int column, int* image) {
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = reinterpret_cast<LPWSTR>(mem.At(kTextOffset));
  item.cchTextMax = kTextChars;
  item.iImage = -1;
  const wchar_t zero = 0;
  mem.Write(kTextOffset, &zero, sizeof zero);
  mem.Write(0, &item, sizeof item);
  Send(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(mem.At(0)));
  mem.Read(0, &item, sizeof item);
  if (image) *image = item.iImage;
  return mem.ReadText(kTextOffset, kTextChars);
}

int ColumnCount(HWND list) {
  HWND header = reinterpret_cast<HWND>(Send(list, LVM_GETHEADER, 0, 0));
  if (!header) return 1;
  const int n = static_cast<int>(Send(header, HDM_GETITEMCOUNT, 0, 0));
  return n > 0 ? n : 1;
}

std::string ListItems(HWND list) {
  Remote mem(list);
  const int columns = ColumnCount(list);
  std::string out = "{\"hwnd\":" + Hex(list) + ",\"view\":" + std::to_string(Send(list, LVM_GETVIEW, 0, 0));
  out += ",\"columns\":[";
  for (int c = 0; c < columns; ++c) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = reinterpret_cast<LPWSTR>(mem.At(kTextOffset));
    col.cchTextMax = kTextChars;
    const wchar_t zero = 0;
    mem.Write(kTextOffset, &zero, sizeof zero);
    mem.Write(0, &col, sizeof col);
    std::wstring text;
    if (Send(list, LVM_GETCOLUMNW, c, reinterpret_cast<LPARAM>(mem.At(0)))) text = mem.ReadText(kTextOffset, kTextChars);
    mem.Read(0, &col, sizeof col);
    out += std::string(c ? "," : "") + "{\"text\":" + JsonUtf16(text) + ",\"width\":" + std::to_string(col.cx) + "}";
  }
  out += "],\"groupView\":" + std::string(Send(list, LVM_ISGROUPVIEWENABLED, 0, 0) ? "true" : "false");
  out += ",\"groups\":[";
  const int groups = static_cast<int>(Send(list, LVM_GETGROUPCOUNT, 0, 0));
  for (int g = 0; g < groups; ++g) {
    LVGROUP group{};
    group.cbSize = sizeof group;
    group.mask = LVGF_HEADER | LVGF_GROUPID;
    group.pszHeader = reinterpret_cast<LPWSTR>(mem.At(kTextOffset));
    group.cchHeader = kTextChars;
    const wchar_t zero = 0;
    mem.Write(kTextOffset, &zero, sizeof zero);
    mem.Write(0, &group, sizeof group);
    Send(list, LVM_GETGROUPINFOBYINDEX, g, reinterpret_cast<LPARAM>(mem.At(0)));
    mem.Read(0, &group, sizeof group);
    out += std::string(g ? "," : "") + "{\"id\":" + std::to_string(group.iGroupId) +
           ",\"header\":" + JsonUtf16(mem.ReadText(kTextOffset, kTextChars)) + "}";
  }
  const int count = static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0));
  out += "],\"count\":" + std::to_string(count) + ",\"rows\":[";
  for (int r = 0; r < count; ++r) {
    LVITEMW item{};
    item.mask = LVIF_STATE | LVIF_GROUPID | LVIF_IMAGE;
    item.iItem = r;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED | LVIS_STATEIMAGEMASK;
    mem.Write(0, &item, sizeof item);
    Send(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(mem.At(0)));
    mem.Read(0, &item, sizeof item);
    std::string texts, images;
    for (int c = 0; c < columns; ++c) {
      int image = -1;
      std::wstring text = ListText(list, mem, r, c, &image);
      texts += std::string(c ? "," : "") + JsonUtf16(text);
      images += std::string(c ? "," : "") + std::to_string(image);
    }
    const unsigned stateImage = (item.state & LVIS_STATEIMAGEMASK) >> 12;
    out += std::string(r ? "," : "") + "{\"texts\":[" + texts + "],\"images\":[" + images +
           "],\"image\":" + std::to_string(item.iImage) + ",\"group\":" + std::to_string(item.iGroupId) +
           ",\"selected\":" + ((item.state & LVIS_SELECTED) ? "true" : "false") +
           ",\"checked\":" + (stateImage == 2 ? "true" : "false") + "}";
  }
  return out + "]}";
}

void SetItemState(HWND list, Remote& mem, int row, UINT state, UINT mask) {
  LVITEMW item{};
  item.stateMask = mask;
  item.state = state;
  mem.Write(0, &item, sizeof item);
  Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(mem.At(0)));
}

int CheckRow(const Options& o, HWND list) {
  const int row = o.Int("row", -1);
  const int count = static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0));
  if (row < 0 || row >= count)
    throw Failure("row " + std::to_string(row) + " is not in the list of " + std::to_string(count) + " rows");
  return row;
}

void SelectRow(HWND list, Remote& mem, int row) {
  SetItemState(list, mem, -1, 0, LVIS_SELECTED);
  SetItemState(list, mem, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  Send(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

std::wstring TabText(HWND tabs, Remote& mem, int i) {
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = reinterpret_cast<LPWSTR>(mem.At(kTextOffset));
  item.cchTextMax = kTextChars;
  const wchar_t zero = 0;
  mem.Write(kTextOffset, &zero, sizeof zero);
  mem.Write(0, &item, sizeof item);
  Send(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(mem.At(0)));
  return mem.ReadText(kTextOffset, kTextChars);
}

// The index of the tab whose text is `text` (with or without '&'), -1 when there is none.
int TabIndex(HWND tabs, const std::wstring& text, int count) {
  Remote mem(tabs);
  for (int i = 0; i < count; ++i) {
    const std::wstring t = TabText(tabs, mem, i);
    if (t == text || WithoutAmpersands(t) == text) return i;
  }
  return -1;
}

std::string TabItems(HWND tabs) {
  Remote mem(tabs);
  const int count = static_cast<int>(Send(tabs, TCM_GETITEMCOUNT, 0, 0));
  std::string out = "{\"hwnd\":" + Hex(tabs) + ",\"selected\":" + std::to_string(Send(tabs, TCM_GETCURSEL, 0, 0)) +
                    ",\"tabs\":[";
  for (int i = 0; i < count; ++i) out += std::string(i ? "," : "") + JsonUtf16(TabText(tabs, mem, i));
  return out + "]}";
}

std::string ControlTexts(HWND top) {
  std::string out = "{\"hwnd\":" + Hex(top) + ",\"title\":" + JsonUtf16(TextOf(top)) +
                    ",\"class\":" + JsonUtf16(ClassOf(top)) + ",\"controls\":[";
  bool first = true;
  for (HWND child : Children(top)) {
    const std::wstring cls = ClassOf(child);
    std::string extra;
    if (cls == L"Button") {
      const LONG style = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
      if (style == BS_RADIOBUTTON || style == BS_AUTORADIOBUTTON || style == BS_CHECKBOX ||
          style == BS_AUTOCHECKBOX)
        extra = ",\"checked\":" + std::string(Send(child, BM_GETCHECK, 0, 0) == BST_CHECKED ? "true" : "false");
    }
    out += std::string(first ? "" : ",") + "{\"class\":" + JsonUtf16(cls) +
           ",\"id\":" + std::to_string(GetDlgCtrlID(child)) + ",\"text\":" + JsonUtf16(TextOf(child)) +
           ",\"visible\":" + (IsWindowVisible(child) ? "true" : "false") +
           ",\"enabled\":" + (IsWindowEnabled(child) ? "true" : "false") + extra + "}";
    first = false;
  }
  return out + "]}";
}

HWND FindButton(HWND top, const std::wstring& text) {
  for (HWND child : Children(top)) {
    if (ClassOf(child) != L"Button") continue;
    const std::wstring t = TextOf(child);
    if (t == text || WithoutAmpersands(t) == text) return child;
  }
  throw Failure("the window has no button \"" + Narrow(text) + "\"");
}

// Writes the window's pixels as a 24-bit bottom-up BMP (converted to PNG by the test scripts).
// The client area by default: without a window manager (Xvfb) nobody paints the frame, and the
// screen there holds whatever was drawn before.
void Screenshot(HWND hwnd, const std::string& file, const std::string& method) {
  const bool print = method == "print";
  RECT r;
  if (method == "window" || print) {
    GetWindowRect(hwnd, &r);
  } else {
    GetClientRect(hwnd, &r);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  }
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) throw Failure("the window has no area");
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bitmap);
  if (print) {
    PrintWindow(hwnd, mem, 0);
  } else {
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
  }
  GdiFlush();
  const DWORD stride = ((w * 3 + 3) / 4) * 4;
  const DWORD imageSize = stride * h;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  fh.bfSize = fh.bfOffBits + imageSize;
  info.bmiHeader.biSizeImage = imageSize;
  FILE* f = _wfopen(Widen(file).c_str(), L"wb");
  bool ok = f != nullptr;
  if (f) {
    ok = fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
         fwrite(bits, imageSize, 1, f) == 1;
    ok = (fclose(f) == 0) && ok;
  }
  SelectObject(mem, old);
  DeleteObject(bitmap);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (!ok) throw Failure("cannot write " + file);
  std::printf("{\"out\":%s,\"width\":%d,\"height\":%d}\n", JsonUtf16(Widen(file)).c_str(), w, h);
}

bool IsDialog(const TopLevel& w) { return w.cls == L"#32770"; }

std::string Run(const Options& o) {
  const std::string& cmd = o.command;
  if (cmd == "windows") {
    Options all = o;
    all.flags.insert("any");
    std::string out = "{\"windows\":[";
    bool first = true;
    for (auto& w : TopLevels(all)) {
      out += std::string(first ? "" : ",") + "{\"hwnd\":" + Hex(w.hwnd) + ",\"title\":" + JsonUtf16(w.title) +
             ",\"class\":" + JsonUtf16(w.cls) + ",\"pid\":" + std::to_string(w.pid) +
             ",\"visible\":" + (w.visible ? "true" : "false") + "}";
      first = false;
    }
    return out + "]}";
  }
  if (cmd == "clipboard") {
    std::wstring text;
    for (int tries = 0; tries < 20 && !OpenClipboard(nullptr); ++tries) Sleep(50);
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
      if (auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
        text = p;
        GlobalUnlock(h);
      }
    }
    CloseClipboard();
    return "{\"text\":" + JsonUtf16(text) + "}";
  }
  if (cmd == "wait-gone") {
    const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<int>(o.Int("timeout", 10) * 1000));
    const std::wstring title = Widen(o.Need("window")), cls = Widen(o.Get("class"));
    while (true) {
      bool present = false;
      for (auto& w : TopLevels(o))
        if (w.title == title && (cls.empty() || w.cls == cls)) present = true;
      if (!present) return "{\"gone\":true}";
      if (Clock::now() >= deadline) throw Failure("the window \"" + o.Get("window") + "\" is still there");
      Sleep(100);
    }
  }
  if (cmd == "message-box") {
    const std::wstring contains = Widen(o.Get("contains"));
    HWND box = FindWindowOrWait(o, [&](const TopLevel& w) {
      if (!IsDialog(w)) return false;
      if (contains.empty()) return true;
      for (HWND child : Children(w.hwnd))
        if (TextOf(child).find(contains) != std::wstring::npos) return true;
      return false;
    });
    std::string texts, buttons;
    for (HWND child : Children(box)) {
      const std::wstring cls = ClassOf(child), text = TextOf(child);
      if (cls == L"Button") {
        buttons += std::string(buttons.empty() ? "" : ",") + JsonUtf16(text);
      } else if (!text.empty()) {
        texts += std::string(texts.empty() ? "" : ",") + JsonUtf16(text);
      }
    }
    return "{\"hwnd\":" + Hex(box) + ",\"title\":" + JsonUtf16(TextOf(box)) + ",\"texts\":[" + texts +
           "],\"buttons\":[" + buttons + "]}";
  }

  HWND top = FindWindowOrWait(o);
  if (cmd == "wait-window") {
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    return "{\"hwnd\":" + Hex(top) + ",\"title\":" + JsonUtf16(TextOf(top)) + ",\"class\":" + JsonUtf16(ClassOf(top)) +
           ",\"pid\":" + std::to_string(pid) + "}";
  }
  if (cmd == "text") return ControlTexts(top);
  if (cmd == "list-items") return ListItems(Control(o, top, WC_LISTVIEWW));
  if (cmd == "list-select" || cmd == "list-dblclick" || cmd == "list-check") {
    HWND list = Control(o, top, WC_LISTVIEWW);
    const int row = CheckRow(o, list);
    Remote mem(list);
    if (cmd == "list-check") {
      if (o.Has("on") == o.Has("off")) throw std::invalid_argument("list-check needs --on or --off");
      SetItemState(list, mem, row, INDEXTOSTATEIMAGEMASK(o.Has("on") ? 2 : 1), LVIS_STATEIMAGEMASK);
      return "{\"row\":" + std::to_string(row) + ",\"checked\":" + (o.Has("on") ? "true" : "false") + "}";
    }
    SelectRow(list, mem, row);
    if (cmd == "list-dblclick") {
      RECT rect{};
      rect.left = LVIR_LABEL;
      mem.Write(kTextOffset, &rect, sizeof rect);
      Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(mem.At(kTextOffset)));
      mem.Read(kTextOffset, &rect, sizeof rect);
      const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
      // Posted: the double-click opens a modal dialog, which a sent message would wait for.
      PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
      PostMessageW(list, WM_LBUTTONUP, 0, at);
    }
    return "{\"row\":" + std::to_string(row) + "}";
  }
  if (cmd == "tab-items") return TabItems(Control(o, top, WC_TABCONTROLW));
  if (cmd == "tab-select") {
    HWND tabs = Control(o, top, WC_TABCONTROLW);
    const int count = static_cast<int>(Send(tabs, TCM_GETITEMCOUNT, 0, 0));
    int tab = o.Int("tab", -1);
    if (o.Has("text")) tab = TabIndex(tabs, Widen(o.Get("text")), count);
    if (tab < 0 || tab >= count) throw Failure("no such tab among the " + std::to_string(count));
    // Moving the focus selects the tab and notifies the owner as a click does; posted, since
    // the page shown may open a modal dialog.
    PostMessageW(tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(tab), 0);
    return "{\"tab\":" + std::to_string(tab) + "}";
  }
  if (cmd == "click" || cmd == "radio") {
    HWND button = FindButton(top, Widen(o.Need("button")));
    if (!IsWindowEnabled(button)) throw Failure("the button \"" + o.Get("button") + "\" is disabled");
    PostMessageW(button, BM_CLICK, 0, 0);
    if (cmd == "radio") {
      for (int i = 0; i < 50 && Send(button, BM_GETCHECK, 0, 0) != BST_CHECKED; ++i) Sleep(100);
      return "{\"button\":" + JsonUtf16(TextOf(button)) + ",\"checked\":" +
             (Send(button, BM_GETCHECK, 0, 0) == BST_CHECKED ? "true" : "false") + "}";
    }
    return "{\"button\":" + JsonUtf16(TextOf(button)) + "}";
  }
  if (cmd == "syscommand") {
    PostMessageW(top, WM_SYSCOMMAND, static_cast<WPARAM>(o.Int("id", 0)), 0);
    return "{\"posted\":true}";
  }
  if (cmd == "close") {
    PostMessageW(top, WM_CLOSE, 0, 0);
    return "{\"posted\":true}";
  }
  if (cmd == "screenshot") {
    Screenshot(top, o.Need("out"), o.Get("method", "client"));
    return {};
  }
  throw std::invalid_argument("unknown command " + cmd);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options o;
  try {
    if (argc < 2) throw std::invalid_argument("no command");
    o.command = Narrow(argv[1]);
    for (int i = 2; i < argc; ++i) {
      std::string arg = Narrow(argv[i]);
      if (arg.rfind("--", 0) != 0) throw std::invalid_argument("unexpected argument " + arg);
      arg = arg.substr(2);
      if (kFlags.count(arg)) {
        o.flags.insert(arg);
      } else {
        if (i + 1 >= argc) throw std::invalid_argument("--" + arg + " needs a value");
        o.values[arg] = Narrow(argv[++i]);
      }
    }
    const std::string line = Run(o);
    if (!line.empty()) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return 0;
  } catch (const std::invalid_argument& e) {
    std::printf("{\"error\":%s}\n", JsonUtf16(Widen(e.what())).c_str());
    return 2;
  } catch (const std::exception& e) {
    std::printf("{\"error\":%s}\n", JsonUtf16(Widen(e.what())).c_str());
    return 1;
  }
}
