#include "ui/IconStrip.h"

#include "ui/Dialog.h"
#include "ui/ResourceIds.h"

namespace kesti::ui {

UniqueImageList LoadIconStrip() {
    UniqueImageList list(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1));
    const UniqueBitmap strip(static_cast<HBITMAP>(
        LoadImageW(ResourceModule(), MAKEINTRESOURCEW(IDB_ICONS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!list || !strip) return UniqueImageList();
    ImageList_AddMasked(list.Get(), strip.Get(), RGB(255, 0, 255)); // the list keeps its own copy
    return list;
}

} // namespace kesti::ui
