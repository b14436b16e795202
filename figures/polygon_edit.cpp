/* Editor operations: hit test, overlay and the source dump. */
#include "figures/polygon.h"

#include <math.h>

#include <GL/gl.h>

namespace {

/* Half-side of the square around a vertex that hit-testing accepts and the
 * overlay outlines, world units. */
constexpr double kPickHalfSide = 0.1;

} // namespace

int polygon::clicked(float x, float y)
{
    for (int i = 0; i < nvtx; ++i) {
        if (fabs(static_cast<double>(vtx[i].x) - x) <= kPickHalfSide &&
            fabs(static_cast<double>(vtx[i].y) - y) <= kPickHalfSide)
            return i;
    }
    return -1;
}

void polygon::highlight()
{
    if (nvtx == 0)
        return;
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, 0.3f);
    for (int i = 0; i < nvtx; ++i) {
        const vertex &v = vtx[i];
        glBegin(GL_LINE_LOOP);
        if (v.dynamic)
            glColor3f(0.0f, 0.0f, 1.0f);
        else
            glColor3f(1.0f, 0.0f, 0.0f);
        const float left = static_cast<float>(v.x - kPickHalfSide);
        const float right = static_cast<float>(v.x + kPickHalfSide);
        const float bottom = static_cast<float>(v.y - kPickHalfSide);
        const float top = static_cast<float>(v.y + kPickHalfSide);
        glVertex2f(left, bottom);
        glVertex2f(left, top);
        glVertex2f(right, top);
        glVertex2f(right, bottom);
        glEnd();
    }
    glColor3f(1.0f, 0.0f, 0.0f);
    for (int i = 0; i + 2 < nvtx; ++i) {
        glBegin(GL_LINE_LOOP);
        for (int j = i; j < i + 3; ++j)
            glVertex2f(vtx[j].x, vtx[j].y);
        glEnd();
    }
    glPopMatrix();
}

/* Each figure becomes one block of C++ that creates it, pushes it at the head
 * of the list held in `polys`, makes it the editor's `active` figure, sets its
 * colour and adds its vertices; running the blocks in the order written
 * rebuilds the list. Ties, velocities and rest distances are not written. */
void polygon::dump(FILE *out)
{
    if (next)
        next->dump(out);
    fprintf(out, "{ \n\tpolygon *p = new polygon;\n\tp->next = polys;\n\tactive = polys = p;\n");
    fprintf(out, "\tp->r = %f;\n\tp->g = %f;\n\tp->b = %f;\n\tp->a = %f;\n", r, g, b, a);
    for (int i = 0; i < nvtx; ++i)
        fprintf(out, "\tp->add(%f,%f,%s);\n", vtx[i].x, vtx[i].y, vtx[i].dynamic ? "true" : "false");
    fprintf(out, "}\n");
}
