// A program a test plants as "rundll32.exe" in the current directory: when it runs, it leaves
// the file "planted-program-ran" beside itself.
#include <fstream>
#include <string>

#include <windows.h>

int main() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.erase(folder.find_last_of("\\/") + 1);
    std::ofstream(folder + "planted-program-ran") << "ran\n";
    return 0;
}
