/* Drawing of the figure list with immediate-mode OpenGL. Needs a current
 * context; issues no state queries. */
#include "figures/polygon.h"

#include <GL/gl.h>

void polygon::draw()
{
    if (next)
        next->draw();
    /* Every figure, drawn or not, steps 0.01 towards the viewer, so that under
     * GL_LESS later figures cover earlier ones. */
    glTranslatef(0.0f, 0.0f, 0.01f);
    if (nvtx <= 2)
        return;
    glColor4f(r, g, b, a);
    glBegin(GL_TRIANGLE_STRIP);
    for (int i = 0; i < nvtx; ++i)
        glVertex2f(vtx[i].x, vtx[i].y);
    glEnd();
}
