// kesti-screenshots: opens the configuration dialogs as a person sees them (the data-source
// dialog with this machine's servers listed and the pointer resting on the simulation
// server, the node dialog with a branch checked, the credentials dialog) and writes each as a
// 24-bit BMP into the folder given. scripts/screenshots.sh runs it under Xvfb and turns the
// pictures into the PNGs of docs/.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include <windows.h>
#include <commctrl.h>

#include "ui/CredentialsDialog.h"
#include "ui/DataSourceDialog.h"
#include "ui/NodesDialog.h"
#include "ui/ResourceIds.h"

using namespace kesti;

namespace {

void Pump(int milliseconds) {
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    MSG message;
    while (GetTickCount64() < until) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
}

// The screen's pixels inside the rectangle, as a bottom-up 24-bit BMP file.
bool SaveScreen(const RECT& area, const std::string& path) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u, size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0, 0,
                          sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), size);
    SelectObject(memory, previous);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return static_cast<bool>(out);
}

RECT WindowArea(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

RECT Union(const RECT& a, const RECT& b) {
    RECT r{};
    UnionRect(&r, &a, &b);
    return r;
}

void PlaceAt(HWND window, int x, int y) {
    SetWindowPos(window, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    Pump(300);
}

bool DataSourcePicture(const std::string& folder) {
    ui::DataSourceDialog dialog;
    HWND window = dialog.CreateModeless();
    if (window == nullptr) return false;
    PlaceAt(window, 20, 20);
    HWND tree = dialog.Item(IDC_SERVER_TREE);
    const HTREEITEM local = TreeView_GetRoot(tree);
    TreeView_Expand(tree, local, TVE_EXPAND);
    const HTREEITEM server = TreeView_GetChild(tree, local);
    TreeView_SelectItem(tree, server);
    RECT row{};
    TreeView_GetItemRect(tree, server, &row, TRUE);
    POINT pointer{(row.left + row.right) / 2, (row.top + row.bottom) / 2};
    ClientToScreen(tree, &pointer);
    SetCursorPos(pointer.x - 1, pointer.y);
    Pump(100);
    SetCursorPos(pointer.x, pointer.y); // the pointer rests on the server: its tip shows
    Pump(1500);
    RECT area = WindowArea(window);
    if (IsWindowVisible(dialog.ToolTip().Handle())) area = Union(area, WindowArea(dialog.ToolTip().Handle()));
    return SaveScreen(area, folder + "\\data-source-dialog.bmp");
}

bool NodesPicture(const std::string& folder) {
    auto tree = std::make_unique<BrowseTree>();
    BrowseTree::TreeNode& root = tree->AddRoot(BrowseRecord{true, "", ""});
    BrowseTree::TreeNode& plant = tree->Add(0, BrowseRecord{true, "Plant", "Plant"}, root);
    BrowseTree::TreeNode& boiler = tree->Add(1, BrowseRecord{true, "Boiler", "Plant.Boiler"}, plant);
    tree->Add(2, BrowseRecord{true, "Burner", "Plant.Boiler.Burner"}, boiler);
    tree->Add(3, BrowseRecord{true, "Line1", "Plant.Line1"}, plant);
    tree->Add(4, BrowseRecord{true, "Line2", "Plant.Line2"}, plant);
    ui::NodesDialog dialog;
    dialog.SetBrowseData(std::move(tree), {{"Plant.Boiler", "Plant.Boiler"}, {"Plant.Boiler.Burner", "Plant.Boiler.Burner"}});
    HWND window = dialog.CreateModeless();
    if (window == nullptr) return false;
    HWND nodes = dialog.Item(IDC_NODE_TREE);
    const HTREEITEM top = TreeView_GetRoot(nodes);
    TreeView_Expand(nodes, top, TVE_EXPAND);
    TreeView_Expand(nodes, TreeView_GetChild(nodes, top), TVE_EXPAND);
    PlaceAt(window, 20, 20);
    return SaveScreen(WindowArea(window), folder + "\\node-dialog.bmp");
}

bool CredentialsPicture(const std::string& folder) {
    ui::CredentialsDialog dialog;
    dialog.userName = "historian";
    dialog.password = "secret";
    dialog.domain = "PLANT";
    HWND window = dialog.CreateModeless();
    if (window == nullptr) return false;
    PlaceAt(window, 20, 20);
    return SaveScreen(WindowArea(window), folder + "\\credentials-dialog.bmp");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kesti-screenshots FOLDER\n");
        return 2;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const std::string folder = argv[1];
    const bool ok = DataSourcePicture(folder) && NodesPicture(folder) && CredentialsPicture(folder);
    if (!ok) std::fprintf(stderr, "kesti-screenshots: a dialog could not be shown (is there a display?)\n");
    return ok ? 0 : 1;
}
