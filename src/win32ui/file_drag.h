// Files dragged out of a window onto Explorer or the desktop: the shell's file list (CF_HDROP)
// in a data object of our own, copied where it is dropped.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <string>
#include <vector>

namespace kvb::win32ui {

// A data object that holds the files at paths (absolute) as the shell's file list; its one
// reference belongs to the caller.
IDataObject *MakeFileDropData(const std::vector<std::string> &paths);

// Drags the files at paths out of the window while the left mouse button is held, and returns
// once they were dropped or the drag was given up (Escape).
void DragFilesOut(const std::vector<std::string> &paths);

} // namespace kvb::win32ui
