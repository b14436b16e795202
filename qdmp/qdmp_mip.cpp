#include "platform/export.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/kernels.h"
#include "qdmp/pixel_map.h"

#include <algorithm>

/* Output pixel (i, j), counted from each map's top-left pixel, comes from
 * source pixels (2i, 2j), (2i + 1, 2j), (2i, 2j + 1), (2i + 1, 2j + 1). Only
 * outputs whose four sources and whose own place lie in the maps are made. */
QV_EXTERN_C QV_EXPORT void QDMP_DownMip32A(PixMapHandle src, PixMapHandle dst)
{
    qdmp::Map s, d;
    if (!qdmp::open_map<UInt32>(src, &s) || !qdmp::open_map<UInt32>(dst, &d))
        return;
    const int columns = std::min(s.width() / 2, d.width());
    const int rows = std::min(s.height() / 2, d.height());
    if (columns <= 0 || rows <= 0)
        return;
    for (int j = 0; j < rows; ++j) {
        const char *upper = s.at<UInt32>(s.left, s.top + 2 * j);
        const char *lower = s.at<UInt32>(s.left, s.top + 2 * j + 1);
        qdmp::mip_run(upper, lower, d.at<UInt32>(d.left, d.top + j), columns);
    }
}
