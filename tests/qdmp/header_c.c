/* The library's public header compiled as C: draws through the C interface
 * and reports what it read back. */
#include "qdmp/include/qdmp.h"

#include <stddef.h>

/* Fills a 4 x 4 32-bit map white, blends a half-covered red pixel over one
 * corner and returns that pixel; 0xFFFFFFFF when the map cannot be made. */
UInt32 qdmp_c_draw(void)
{
    Rect bounds;
    QDMP_Set_Rect(&bounds, 0, 0, 4, 4);
    PixMapHandle dst = QVPixMap_New(&bounds, 32, 0, NULL);
    PixMapHandle src = QVPixMap_New(&bounds, 32, 0, NULL);
    UInt32 out = 0xFFFFFFFFu;
    if (dst && src) {
        const RGBColor white = {0xFFFF, 0xFFFF, 0xFFFF};
        QDMP_Fill_Rect(dst, bounds, &white);
        QDMP_Set_Pixel32(src, 0, 0, 0x80FF0000u);
        QDMP_Copy_Scan32A(src, dst, 0, 0, 1, 0, 0, 1);
        out = QDMP_Get_Pixel32(dst, 0, 0);
    }
    QVPixMap_Dispose(src);
    QVPixMap_Dispose(dst);
    return out;
}
