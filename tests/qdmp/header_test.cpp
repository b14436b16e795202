/* The public header from C++, the same calls made from C, and the shared
 * library's exported names: exactly the QDMP_ calls. */
#include "qdmp/include/qdmp.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <string>

extern "C" UInt32 qdmp_c_draw(void);

namespace {

const char *const kExported[] = {
    "QDMP_Init", "QDMP_Set_Rect", "QDMP_Offset_Rect", "QDMP_Inset_Rect", "QDMP_Intersect_Rects",
    "QDMP_Set_Point", "QDMP_PointInRect", "QDMP_MidPoint", "QDMP_MidPointRect",
    "QDMP_Get_Pixel8", "QDMP_Get_Pixel16", "QDMP_Get_Pixel32", "QDMP_Get_Pixel",
    "QDMP_Set_Pixel8", "QDMP_Set_Pixel16", "QDMP_Set_Pixel32", "QDMP_Set_Pixel",
    "QDMP_Get_PixelP8", "QDMP_Get_PixelP16", "QDMP_Get_PixelP32", "QDMP_Get_PixelP",
    "QDMP_Set_PixelP8", "QDMP_Set_PixelP16", "QDMP_Set_PixelP32", "QDMP_Set_PixelP",
    "QDMP_Copy_Rect", "QDMP_Copy_Rect8", "QDMP_Copy_Rect16", "QDMP_Copy_Rect32", "QDMP_Copy_Rect32A",
    "QDMP_Copy_Scan", "QDMP_Copy_Scan8", "QDMP_Copy_Scan16", "QDMP_Copy_Scan32", "QDMP_Copy_Scan32A",
    "QDMP_Draw_Line", "QDMP_Draw_Line8", "QDMP_Draw_Line16", "QDMP_Draw_Line32",
    "QDMP_Draw_LineP", "QDMP_Draw_LineP8", "QDMP_Draw_LineP16", "QDMP_Draw_LineP32",
    "QDMP_Fill_Rect", "QDMP_Fill_Rect8", "QDMP_Fill_Rect16", "QDMP_Fill_Rect32",
    "QDMP_Draw_Circle", "QDMP_Draw_Circle8", "QDMP_Draw_Circle16", "QDMP_Draw_Circle32",
    "QDMP_Draw_CircleP", "QDMP_Draw_CircleP8", "QDMP_Draw_CircleP16", "QDMP_Draw_CircleP32",
    "QDMP_Fill_Circle", "QDMP_Fill_Circle8", "QDMP_Fill_Circle16", "QDMP_Fill_Circle32",
    "QDMP_Fill_CircleP", "QDMP_Fill_CircleP8", "QDMP_Fill_CircleP16", "QDMP_Fill_CircleP32",
    "QDMP_Draw_Curve",
    "QDMP_RandomSInt16", "QDMP_Random_RangeSInt16", "QDMP_Random_RangeSInt32",
    "QDMP_Mix_RGBColors", "QDMP_RGBColorDistance", "QDMP_DownMip32A",
};

TEST(QdmpHeader, UsableFromCAndCxx)
{
    EXPECT_EQ(qdmp_c_draw(), 0x00FD7E7Eu) << "half red over white, from C";
    Rect bounds;
    QDMP_Set_Rect(&bounds, 0, 0, 4, 4);
    PixMapHandle pm = QVPixMap_New(&bounds, 16, 0, nullptr);
    ASSERT_NE(pm, nullptr);
    QDMP_Draw_Line16(pm, 0, 0, 3, 3, 0x7FFF);
    EXPECT_EQ(QDMP_Get_Pixel16(pm, 3, 3), 0x7FFF);
    QVPixMap_Dispose(pm);
}

/* Reads the names the shared library defines in its dynamic symbol table. */
std::set<std::string> defined_dynamic_symbols(const std::string &file)
{
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + file + "'";
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        char type;
        char name[400];
        unsigned long long addr;
        if (std::sscanf(line, "%llx %c %399s", &addr, &type, name) == 3)
            names.insert(name);
    }
    pclose(p);
    return names;
}

TEST(QdmpHeader, SharedLibraryExportsExactlyTheQdmpCalls)
{
    void *lib = dlopen(QDMP_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const char *name : kExported)
        EXPECT_NE(dlsym(lib, name), nullptr) << name;
    dlclose(lib);

    std::set<std::string> expected(std::begin(kExported), std::end(kExported));
    ASSERT_EQ(expected.size(), 70u);
    std::set<std::string> got = defined_dynamic_symbols(QDMP_LIBRARY_FILE);
    // The linker's own section markers are not ours to choose.
    for (const char *marker : {"_init", "_fini", "_edata", "_end", "__bss_start"})
        got.erase(marker);
    EXPECT_EQ(got, expected);
}

} // namespace
