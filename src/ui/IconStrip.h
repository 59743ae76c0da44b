#pragma once
// The dialogs' image list: the 16x16 cells of bitmap 104, magenta transparent, owned and
// destroyed with its owner.
#include <windows.h>
#include <commctrl.h>

#include "platform/UniqueResource.h"

namespace kesti::ui {

namespace detail {
inline void DestroyImageList(HIMAGELIST list) noexcept { ImageList_Destroy(list); }
inline void DeleteBitmap(HBITMAP bitmap) noexcept { DeleteObject(bitmap); }
} // namespace detail

using UniqueImageList = platform::UniqueResource<platform::NullableTraits<HIMAGELIST, &detail::DestroyImageList>>;
using UniqueBitmap = platform::UniqueResource<platform::NullableTraits<HBITMAP, &detail::DeleteBitmap>>;

// Loads the strip from the resources into a new image list (null when it cannot be loaded).
UniqueImageList LoadIconStrip();

} // namespace kesti::ui
