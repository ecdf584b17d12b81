// A second process on the test's machine root: reads the user paper file of
// a folder, optionally adds one paper and writes the list back, and prints
// the list as "id name" lines.
#include <cstdio>
#include <cstring>
#include <string>

#include "user_paper.h"
#include "win/base.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string folder(argv[1]);
    sheetwright::CUserPaper list;
    list.SetPath(std::u16string(folder.begin(), folder.end()));
    list.Read();
    if (argc > 2) {
        sheetwright::UserPaperRecord r{};
        std::strncpy(r.name, argv[2], sizeof r.name - 1);
        r.SetUnit(1);
        r.widthTenthMm = 1000;
        r.lengthTenthMm = 2000;
        if (!list.Add(&r) || !list.Write()) return 1;
    }
    for (WORD i = 0; i < list.Count(); ++i)
        std::printf("%u %s\n", list.At(i)->paperId, list.At(i)->name);
    return 0;
}
