// The shared image lists, filled from the program's icon resources.
#include "ui/image_lists.h"

#include <initializer_list>

#include "app/deep_scan.h"
#include "ui/resource_ids.h"

namespace ui {
namespace {

static_assert(app::kMarkerPlain == IDI_MARKER_PLAIN - IDI_KIND_PROCESS && app::kMarkerKnown == IDI_MARKER_KNOWN - IDI_KIND_PROCESS,
              "the markers follow the six finding kinds in the small list");

int ScaledSize(int pixels) {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return MulDiv(pixels, dpi > 0 ? dpi : 96, 96);
}

// An icon that cannot be loaded still takes its slot (an empty image), so the indices stay those
// of the states and kinds.
HIMAGELIST Build(int pixels, std::initializer_list<int> iconIds) {
  const int size = ScaledSize(pixels);
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, static_cast<int>(iconIds.size()), 0);
  if (!list) return nullptr;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (int id : iconIds) {
    HICON icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
    if (!icon) icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MARKER_PLAIN), IMAGE_ICON, size, size, 0));
    ImageList_AddIcon(list, icon);
    if (icon) DestroyIcon(icon);
  }
  return list;
}

}  // namespace

HIMAGELIST LargeStateImages() {
  static HIMAGELIST list = Build(32, {IDI_STATE_NOT_RUN, IDI_STATE_FOUND, IDI_STATE_CLEAN});
  return list;
}

HIMAGELIST SmallKindImages() {
  static HIMAGELIST list = Build(16, {IDI_KIND_PROCESS, IDI_KIND_OTHER, IDI_KIND_FOLDER, IDI_KIND_FILE, IDI_KIND_KEY,
                                      IDI_KIND_VALUE, IDI_MARKER_PLAIN, IDI_MARKER_KNOWN});
  return list;
}

}  // namespace ui
