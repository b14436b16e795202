/* Another program drawing with the installed library: built as C against the
 * installed header and pkg-config file only. Prints the pixel it drew. */
#include <qdmp.h>

#include <stdio.h>

int main(void)
{
    Rect bounds;
    QDMP_Set_Rect(&bounds, 0, 0, 8, 8);
    PixMapHandle pm = QVPixMap_New(&bounds, 32, 0, NULL);
    if (!pm)
        return 2;
    const RGBColor orange = {0xFFFF, 0x8000, 0x0000};
    QDMP_Fill_Circle(pm, 4, 4, 3, &orange);
    printf("%08lx\n", (unsigned long)QDMP_Get_Pixel32(pm, 4, 4));
    QVPixMap_Dispose(pm);
    return 0;
}
