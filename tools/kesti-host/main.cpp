// kesti-host: a small host program for OpcHDAKesti.dll. It loads the DLL by path, prints the
// plug-in's identity and shows how strings and value vectors cross the boundary.
//
//   kesti-host [--dll PATH]
#include <cstdio>
#include <string>
#include <vector>

#include "common/KestiLibrary.h"

using kesti::host::KestiLibrary;

namespace {

std::string TakeString(const KestiLibrary& dll, StringHandle string) {
    uint32_t length = 0;
    dll.kesti2_stringCopy(string, nullptr, &length); // asks for the length
    std::string text(length, '\0');
    if (length > 0) dll.kesti2_stringCopy(string, &text[0], &length);
    dll.kesti2_stringFree(string);
    return text;
}

std::string ElementText(const KestiLibrary& dll, VectorHandle vector, uint32_t index) {
    uint32_t type = 0;
    dll.kesti2_vectorGetType(vector, index, &type);
    if (type == KestiValueFloat) {
        float value = 0;
        dll.kesti2_vectorGetFloat(vector, index, &value);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%g", value);
        return buffer;
    }
    if (type == KestiValueString) {
        StringHandle text = nullptr;
        dll.kesti2_vectorGetString(vector, index, &text);
        return "\"" + TakeString(dll, text) + "\"";
    }
    return "(missing)";
}

void ShowVector(const KestiLibrary& dll) {
    VectorHandle row = nullptr;
    if (dll.kesti2_vectorCreate(3, &row) != ResultOk) return;
    dll.kesti2_vectorSetFloat(row, 0, 21.5f);
    dll.kesti2_vectorSetString(row, 1, "running");
    uint32_t length = 0;
    dll.kesti2_vectorGetLength(row, &length);
    std::printf("A row of %u values:", length);
    for (uint32_t i = 0; i < length; ++i) std::printf(" %s", ElementText(dll, row, i).c_str());
    std::printf("\n");
    dll.kesti2_vectorFree(row);
}

std::wstring Widen(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length - 1 : 0), L'\0');
    if (length > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    return wide;
}

} // namespace

int main(int argc, char** argv) {
    std::wstring dllPath = KestiLibrary::BesideThisProgram();
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--dll") dllPath = Widen(argv[i + 1]);
    try {
        KestiLibrary dll(dllPath);
        dll.kesti2_initialize();
        StringHandle identity = nullptr;
        if (dll.kesti2_getIdentity(&identity) != ResultOk) {
            std::fprintf(stderr, "kesti-host: the plug-in gave no identity\n");
            return 1;
        }
        std::printf("%s\n", TakeString(dll, identity).c_str());
        ShowVector(dll);
        dll.kesti2_uninitialize();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kesti-host: %s\n", e.what());
        return 1;
    }
}
