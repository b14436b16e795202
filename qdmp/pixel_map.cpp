#include "qdmp/pixel_map.h"

namespace qdmp {

bool open_map(PixMapHandle pm, int depth, Map *m)
{
    if (!usable(pm))
        return false;
    const PixMap &record = **pm;
    if (depth != 0 && record.pixelSize != depth)
        return false;
    m->base = GetPixBaseAddr(pm);
    m->rowBytes = GetPixRowBytes(pm);
    m->left = record.bounds.left;
    m->top = record.bounds.top;
    m->right = record.bounds.right;
    m->bottom = record.bounds.bottom;
    m->depth = record.pixelSize;
    return true;
}

} // namespace qdmp
