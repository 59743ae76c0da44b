// The resources built into the DLL: the dialog templates as the dialogs expect them, the
// icon strip and the version.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <string>
#include <vector>

#include <windows.h>

#include "dll/DllFixture.h"
#include "ui/ResourceIds.h"

namespace kesti::test {
namespace {

struct ControlView {
    int id;
    std::wstring text;
    short x, y, cx, cy;
    DWORD style;
};

struct DialogView {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring caption, font;
    WORD pointSize = 0;
    std::vector<ControlView> controls;
};

// Reads a DLGTEMPLATEEX (the layout that DIALOGEX produces).
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : at_(data) {}

    DialogView Read() {
        DialogView view;
        const WORD version = Take<WORD>(), signature = Take<WORD>();
        EXPECT_EQ(version, 1);
        EXPECT_EQ(signature, 0xFFFF);
        Take<DWORD>(); // help id
        Take<DWORD>(); // extended style
        view.style = Take<DWORD>();
        const WORD count = Take<WORD>();
        view.x = Take<short>(), view.y = Take<short>(), view.cx = Take<short>(), view.cy = Take<short>();
        SkipNameOrOrdinal(); // menu
        SkipNameOrOrdinal(); // class
        view.caption = TakeString();
        if (view.style & DS_SETFONT) {
            view.pointSize = Take<WORD>();
            Take<WORD>(); // weight
            Take<BYTE>(); // italic
            Take<BYTE>(); // character set
            view.font = TakeString();
        }
        for (WORD i = 0; i < count; ++i) view.controls.push_back(ReadControl());
        return view;
    }

private:
    template <class T>
    T Take() {
        T value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    std::wstring TakeString() {
        std::wstring text;
        for (wchar_t c = Take<wchar_t>(); c != 0; c = Take<wchar_t>()) text += c;
        return text;
    }
    // A name, or 0xFFFF and an ordinal; returned as text ("#n" for an ordinal).
    std::wstring TakeNameOrOrdinal() {
        WORD first;
        std::memcpy(&first, at_, sizeof first);
        if (first == 0xFFFF) {
            Take<WORD>();
            return L"#" + std::to_wstring(Take<WORD>());
        }
        return TakeString();
    }
    void SkipNameOrOrdinal() { TakeNameOrOrdinal(); }
    void AlignToDword() {
        while (reinterpret_cast<UINT_PTR>(at_) % 4 != 0) ++at_;
    }
    ControlView ReadControl() {
        AlignToDword();
        ControlView c{};
        Take<DWORD>(); // help id
        Take<DWORD>(); // extended style
        c.style = Take<DWORD>();
        c.x = Take<short>(), c.y = Take<short>(), c.cx = Take<short>(), c.cy = Take<short>();
        c.id = static_cast<int>(Take<DWORD>());
        TakeNameOrOrdinal(); // class
        c.text = TakeNameOrOrdinal();
        at_ += Take<WORD>(); // creation data
        return c;
    }

    const BYTE* at_;
};

class ResourceTest : public DllTest {
protected:
    void SetUp() override {
        DllTest::SetUp();
        module_ = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
        DllTest::TearDown();
    }
    const BYTE* Resource(int id, LPCSTR type) {
        HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) return nullptr;
        return static_cast<const BYTE*>(LockResource(LoadResource(module_, found)));
    }
    DialogView Dialog(int id) {
        const BYTE* data = Resource(id, MAKEINTRESOURCEA(5)); // RT_DIALOG
        EXPECT_NE(data, nullptr);
        return data != nullptr ? TemplateReader(data).Read() : DialogView{};
    }

    static std::wstring DllPath() { return host::KestiLibrary::BesideThisProgram(); }

    HMODULE module_ = nullptr;
};

std::string SizeOf(const DialogView& d) { return std::to_string(d.cx) + "x" + std::to_string(d.cy); }

// id, text, x, y, cx, cy in template order, which is the tab order.
using Layout = std::vector<std::tuple<int, std::wstring, int, int, int, int>>;

Layout LayoutOf(const DialogView& view) {
    Layout layout;
    for (const ControlView& c : view.controls) layout.emplace_back(c.id, c.text, c.x, c.y, c.cx, c.cy);
    return layout;
}

TEST_F(ResourceTest, TheDataSourceDialogIsResizableWithItsControlsInPlace) {
    const DialogView d = Dialog(IDD_DATASOURCE);
    EXPECT_EQ(d.caption, L"Create Connection to Data Source");
    EXPECT_EQ(d.font, L"MS Shell Dlg");
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(SizeOf(d), "317x197");
    EXPECT_TRUE(d.style & WS_THICKFRAME);
    EXPECT_TRUE(d.style & WS_SYSMENU);
    EXPECT_EQ(LayoutOf(d), (Layout{{1001, L"", 7, 21, 303, 128},
                                   {-1, L"Other OPC &server:", 7, 159, 61, 8},
                                   {1002, L"", 70, 157, 184, 14},
                                   {3, L"&Add", 260, 156, 50, 14},
                                   {4, L"&Credentials...", 7, 176, 50, 14},
                                   {6, L"&Test connectivity...", 61, 176, 75, 14},
                                   {IDOK, L"OK", 205, 176, 50, 14},
                                   {IDCANCEL, L"Cancel", 260, 176, 50, 14}}));
    const DWORD tree = d.controls.at(0).style;
    EXPECT_EQ(tree & (0x1 | 0x2 | 0x4 | 0x20 | 0x80), 0x1u | 0x2 | 0x4 | 0x20 | 0x80)
        << "buttons, lines, lines at root, selection always shown, no own tool tips";
    EXPECT_TRUE(tree & WS_BORDER);
    EXPECT_TRUE(d.controls.at(6).style & BS_DEFPUSHBUTTON);
}

// The credentials dialog has a fixed frame; the node dialog resizes like the data-source
// dialog and keeps its selection shown when the tree has no focus. Ampersands mark the
// mnemonics.
TEST_F(ResourceTest, TheCredentialsDialogIsAFixedFrameAndTheNodeDialogResizes) {
    const DialogView credentials = Dialog(IDD_CREDENTIALS);
    EXPECT_EQ(credentials.caption, L"OPC Configuration");
    EXPECT_EQ(SizeOf(credentials), "199x132");
    EXPECT_FALSE(credentials.style & WS_THICKFRAME);
    EXPECT_TRUE(credentials.style & DS_MODALFRAME);
    EXPECT_EQ(LayoutOf(credentials), (Layout{{IDOK, L"OK", 41, 111, 50, 14},
                                             {IDCANCEL, L"Cancel", 108, 111, 50, 14},
                                             {-1, L"OPC login credential (empty if not used)", 7, 7, 185, 97},
                                             {-1, L"&Name", 15, 17, 19, 8},
                                             {-1, L"&Password", 15, 47, 32, 8},
                                             {-1, L"&Domain", 15, 75, 24, 8},
                                             {1003, L"", 15, 27, 169, 14},
                                             {1004, L"", 15, 56, 169, 14},
                                             {1005, L"", 15, 85, 169, 14}}));
    EXPECT_TRUE(credentials.controls.at(7).style & ES_PASSWORD);
    EXPECT_FALSE(credentials.controls.at(6).style & ES_PASSWORD);

    const DialogView nodes = Dialog(IDD_NODES);
    EXPECT_EQ(nodes.caption, L"Select Nodes");
    EXPECT_EQ(SizeOf(nodes), "224x297");
    EXPECT_EQ(LayoutOf(nodes), (Layout{{IDOK, L"OK", 114, 276, 50, 14},
                                       {IDCANCEL, L"Cancel", 167, 276, 50, 14},
                                       {-1, L"Select &nodes to get tags from to increase performance.", 7, 7, 178, 8},
                                       {1006, L"", 7, 17, 210, 253}}));
    EXPECT_TRUE(nodes.controls.at(3).style & 0x100) << "check boxes";
    EXPECT_TRUE(nodes.controls.at(3).style & 0x20) << "selection always shown";
    EXPECT_TRUE(nodes.style & WS_THICKFRAME);
    EXPECT_TRUE(nodes.style & WS_SYSMENU);
}

TEST_F(ResourceTest, TheIconStripHas51CellsOf16PixelsWithTheUsedOnesDrawn) {
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(Resource(IDB_ICONS, MAKEINTRESOURCEA(2))); // RT_BITMAP
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, 51 * 16);
    EXPECT_EQ(header->biHeight, 16);
    EXPECT_EQ(header->biBitCount, 24);
    const BYTE* pixels = reinterpret_cast<const BYTE*>(header) + header->biSize;
    const int stride = (header->biWidth * 3 + 3) & ~3;
    const auto drawnPixels = [&](int cell) {
        int drawn = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = cell * 16; x < cell * 16 + 16; ++x) {
                const BYTE* p = pixels + y * stride + x * 3; // blue, green, red
                drawn += !(p[0] == 255 && p[1] == 0 && p[2] == 255);
            }
        return drawn;
    };
    for (int cell : {ICON_HDA_SERVER, ICON_NODE, ICON_MACHINE, ICON_NETWORK, ICON_OTHER_SERVER, ICON_ERROR})
        EXPECT_GT(drawnPixels(cell), 60) << "cell " << cell;
    EXPECT_EQ(drawnPixels(0), 0) << "unused cells are transparent";
    EXPECT_GT(256 - drawnPixels(ICON_NODE), 0) << "a drawn cell keeps transparent pixels around its icon";
}

TEST_F(ResourceTest, TheVersionNamesTheProduct) {
    const std::wstring path = DllPath();
    DWORD ignored = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    const auto text = [&](const char* name) {
        char* value = nullptr;
        UINT length = 0;
        const std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
        return VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) && value
                   ? std::string(value)
                   : std::string("(none)");
    };
    EXPECT_EQ(text("ProductName"), "OpcHDAKesti");
    EXPECT_EQ(text("OriginalFilename"), "OpcHDAKesti.dll");
    // The version of the build (project VERSION in CMakeLists.txt), as the host also says it.
    EXPECT_EQ(text("ProductVersion").rfind(KESTI_VERSION_TEXT, 0), 0u) << text("ProductVersion");
    EXPECT_EQ(text("FileVersion").rfind(KESTI_VERSION_TEXT, 0), 0u) << text("FileVersion");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), static_cast<unsigned>(KESTI_VERSION_MAJOR));
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), static_cast<unsigned>(KESTI_VERSION_MINOR));
}

} // namespace
} // namespace kesti::test
