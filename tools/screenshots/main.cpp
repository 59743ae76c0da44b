// kesti-screenshots: opens the configuration dialogs as a person sees them and writes each as
// a 24-bit BMP into the folder given: the data-source dialog with this machine's servers
// listed and the pointer resting on the simulation server; the same dialog opened again on
// a stored choice; a machine being listed ("Searching...") and a machine that did not answer,
// with its error item and tip; the node dialog with the stored nodes ticked; the credentials
// dialog. Machines that do not answer are played through the COM activation seam (nothing
// answers from another machine under Wine). scripts/screenshots.sh runs it under Xvfb and
// turns the pictures into the PNGs of docs/.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "discovery/ReachabilityProbe.h"
#include "platform/Seams.h"
#include "platform/UniqueHandle.h"
#include "ui/CredentialsDialog.h"
#include "ui/DataSourceDialog.h"
#include "ui/NodesDialog.h"
#include "ui/ResourceIds.h"
#include "ui/TreeItems.h"

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

// Pumps until the dialog's background work has ended.
void WaitForWork(const ui::DataSourceDialog& dialog) {
    for (int i = 0; i < 3000 && dialog.WorkRunning() > 0; ++i) Pump(10);
    Pump(300);
}

// The pointer rests on the item: its tip shows; the picture takes in the tip.
RECT WithTipOver(const ui::DataSourceDialog& dialog, HTREEITEM item) {
    HWND tree = dialog.Item(IDC_SERVER_TREE);
    RECT row{};
    TreeView_GetItemRect(tree, item, &row, TRUE);
    POINT pointer{(row.left + row.right) / 2, (row.top + row.bottom) / 2};
    ClientToScreen(tree, &pointer);
    SetCursorPos(pointer.x - 1, pointer.y);
    Pump(100);
    SetCursorPos(pointer.x, pointer.y);
    Pump(1500);
    RECT area = WindowArea(dialog.Handle());
    if (IsWindowVisible(dialog.ToolTip().Handle())) area = Union(area, WindowArea(dialog.ToolTip().Handle()));
    return area;
}

HTREEITEM Child(HWND tree, HTREEITEM parent, const std::string& text) {
    for (HTREEITEM item = TreeView_GetChild(tree, parent); item != nullptr; item = TreeView_GetNextSibling(tree, item))
        if (ui::TreeItemText(tree, item) == text) return item;
    return nullptr;
}

// Adds the machine as a person does: its name in "Other OPC server:", Enter.
HTREEITEM AddMachine(ui::DataSourceDialog& dialog, const char* name) {
    SetDlgItemTextA(dialog.Handle(), IDC_OTHER_SERVER, name);
    SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDC_ADD_MACHINE, BN_CLICKED), 0);
    HWND tree = dialog.Item(IDC_SERVER_TREE);
    return Child(tree, TVI_ROOT, name);
}

bool DataSourcePicture(const std::string& folder) {
    ui::DataSourceDialog dialog;
    HWND window = dialog.CreateModeless();
    if (window == nullptr) return false;
    PlaceAt(window, 20, 20);
    HWND tree = dialog.Item(IDC_SERVER_TREE);
    const HTREEITEM local = TreeView_GetRoot(tree);
    TreeView_Expand(tree, local, TVE_EXPAND);
    WaitForWork(dialog);
    const HTREEITEM server = TreeView_GetChild(tree, local);
    TreeView_SelectItem(tree, server);
    return SaveScreen(WithTipOver(dialog, server), folder + "\\data-source-dialog.bmp");
}

// Opened again on what was saved: this machine expanded, its server selected, OK enabled.
bool StoredChoicePicture(const std::string& folder) {
    ui::DataSourceDialog dialog;
    dialog.SetDataSource({{}, "opchda://localhost/OpcHdaSim.Server/{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}",
                          {{"Plant.Boiler", "Plant.Boiler"}}});
    HWND window = dialog.CreateModeless();
    if (window == nullptr) return false;
    PlaceAt(window, 20, 20);
    WaitForWork(dialog);
    return SaveScreen(WindowArea(window), folder + "\\stored-choice.bmp");
}

// plant-hist is still being listed (its probe waits); plant-silent did not answer.
bool UnansweredMachinesPicture(const std::string& folder) {
    const auto release = std::make_shared<platform::UniqueHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    platform::SetActivationHandler([release](const CLSID& clsid, DWORD, COSERVERINFO* server, ULONG, MULTI_QI*) -> HRESULT {
        const bool remote = server != nullptr && server->pwszName != nullptr;
        if (remote && IsEqualCLSID(clsid, kProbeClassId) && std::wstring(server->pwszName) == L"plant-hist")
            WaitForSingleObject(release->Get(), 30000);
        return remote ? HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) : REGDB_E_CLASSNOTREG;
    });
    ui::DataSourceDialog dialog;
    HWND window = dialog.CreateModeless();
    bool ok = window != nullptr;
    if (ok) {
        PlaceAt(window, 20, 20);
        HWND tree = dialog.Item(IDC_SERVER_TREE);
        const HTREEITEM silent = AddMachine(dialog, "plant-silent");
        TreeView_Expand(tree, silent, TVE_EXPAND);
        WaitForWork(dialog);
        const HTREEITEM searching = AddMachine(dialog, "plant-hist");
        TreeView_Expand(tree, searching, TVE_EXPAND);
        TreeView_SelectItem(tree, searching);
        Pump(300);
        ok = SaveScreen(WindowArea(window), folder + "\\searching.bmp") &&
             SaveScreen(WithTipOver(dialog, TreeView_GetChild(tree, silent)), folder + "\\error-item.bmp");
    }
    SetEvent(release->Get());
    platform::SetActivationHandler(nullptr);
    return ok;
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
    const bool ok = DataSourcePicture(folder) && StoredChoicePicture(folder) && UnansweredMachinesPicture(folder) &&
                    NodesPicture(folder) && CredentialsPicture(folder);
    if (!ok) std::fprintf(stderr, "kesti-screenshots: a dialog could not be shown (is there a display?)\n");
    return ok ? 0 : 1;
}
