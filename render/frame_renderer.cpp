#include "render/frame_renderer.h"

#include <GL/gl.h>

#include "figures/polygon.h"
#include "platform/agl.h"
#include "platform/qv_clock.h"
#include "render/gl_context.h"
#include "render/message_texture.h"

QV_EXTERN_C const float kavoAdColors[5][3] = {
    {0.0f, 0.58f, 0.88f}, {1.0f, 0.89f, 0.0f}, {0.68f, 0.41f, 0.86f}, {0.62f, 0.8f, 0.22f}, {0.91f, 0.64f, 0.0f},
};

// Names the renderer keeps as the plug-in has always had them: kavoAdColors
// is in the bundle's export list (tests/plugin/bundle_exports.txt), where a
// host or a tool may look it up; m1, px and pt1 are the names the plug-in's
// documentation and tests give the renderer's state.
namespace {

// Per process, kept across show and hide, never reset.
float m1 = -1.0f; // decaying peak of the bass level
float px = 1.0f;  // smoothed scale of the figures
float pt1 = 0.0f; // bass level of the latest frame that carried data

constexpr int kBassEntries = 40;     // lowest spectrum entries summed into the level
constexpr double kPeakDecay = 0.999; // per frame: the peak halves in about 693 frames
constexpr float kSideBound = 4.0f;   // the drift turns back beyond +-4 world units
constexpr double kFall = 0.001;      // per frame: the scene's upward speed falls by this much
// The scale moves (kScaleSteps - kScaleKeep) / kScaleSteps of the way each frame towards
// 1 + level / kLevelPerScale: 1.0 in silence, about 2.245 at the loudest.
constexpr float kScaleKeep = 7.0f;
constexpr float kScaleSteps = 8.0f;
constexpr float kLevelPerScale = 16.0f;
// Depth of the figures, just inside the near plane of the view's -1..1.
constexpr float kFiguresDepth = -0.999f;
constexpr int kColorSlotSeconds = 5;
constexpr int kColorSlots = 5;
// The message quad: one world unit holds this many texels of the image, and
// the quad sits this far in from the view's bottom-right corner.
constexpr double kTexelsPerUnit = 100.0;
constexpr double kQuadMargin = 0.1;

// Slot of the background colour for calendar time t: (t / 5) mod 5 with
// truncating division, the remainder wrapped into 0..4 so that a clock
// before 1970 cannot index outside the table.
SInt32 ColorSlot(time_t t)
{
    SInt32 slot = static_cast<SInt32>((t / kColorSlotSeconds) % kColorSlots);
    return slot < 0 ? slot + kColorSlots : slot;
}

void DrawMessageQuad(const VisualPluginState *state)
{
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1.0f, 1.0f, 1.0f); // GL_MODULATE then passes the image unchanged
    glBindTexture(GL_TEXTURE_2D, state->msgTexture);
    glPushMatrix();
    // Top-left corner of the quad.
    const double x = double{scr_right} - msg_texture_width / kTexelsPerUnit - kQuadMargin;
    const double y = double{scr_bottom} + msg_texture_height / kTexelsPerUnit + kQuadMargin;
    glTranslatef(static_cast<float>(x), static_cast<float>(y), 0.0f);
    const float w = static_cast<float>(msg_texture_width / kTexelsPerUnit);
    const float negH = static_cast<float>(-msg_texture_height / kTexelsPerUnit);
    glBegin(GL_QUADS); // texture row 0 on the top edge
    glTexCoord2d(0.0, 0.0);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2d(1.0, 0.0);
    glVertex2f(w, 0.0f);
    glTexCoord2d(1.0, 1.0);
    glVertex2f(w, negH);
    glTexCoord2d(0.0, 1.0);
    glVertex2f(0.0f, negH);
    glEnd();
    glPopMatrix();
    glDisable(GL_TEXTURE_2D); // blending stays on until the next frame turns it off
}

} // namespace

void draw(VisualPluginState *state, UInt8 hasData, UInt16 numEntries, const UInt8 *spectrum)
{
    if (!UseContext(state))
        return; // no context: nothing to draw into, no GL state to touch

    m1 = static_cast<float>(m1 * kPeakDecay);

    if (hasData != 0 && spectrum != nullptr && numEntries != 0) {
        const float entries = static_cast<float>(numEntries);
        float level = 0.0f;
        for (int i = 0; i < kBassEntries; ++i)
            level += static_cast<float>(spectrum[i]) / entries;
        pt1 = level;
        if (pt1 > m1) { // a new peak reverses the drift
            state->velX = -state->velX;
            m1 = pt1;
        }
    }

    if (state->polys != nullptr) {
        // The steps use the velocities as they were; reversals below take
        // effect from the next frame.
        state->polys->move(state->velX, state->velY);
        state->polys->rotate(state->spin);
        state->posX += state->velX;
        state->posY += state->velY;
        if (state->posX < -kSideBound || state->posX > kSideBound)
            state->velX = -state->velX;
        if (state->posY < 0.0f) {
            state->spin = -state->spin;
            state->velY = -state->velY;
        } else {
            state->velY = static_cast<float>(state->velY - kFall);
        }
    }

    state->colorIndex = ColorSlot(QVClock_Now());
    const float *bg = kavoAdColors[state->colorIndex];
    glClearColor(bg[0], bg[1], bg[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);

    glPushMatrix();
    glTranslatef(0.0f, 0.0f, kFiguresDepth);
    // Single precision, in this order: the motion test pins it bit for bit.
    px = (px * kScaleKeep) / kScaleSteps + ((pt1 / kLevelPerScale) + 1.0f) / kScaleSteps;
    glScalef(px, px, 1.0f);
    if (state->polys != nullptr) {
        state->polys->updateVtx();
        state->polys->follow();
        state->polys->draw();
    }
    glPopMatrix();

    if (state->msgTexture != 0)
        DrawMessageQuad(state);

    glFinish();
    glFlush();
    aglSwapBuffers(state->aglContext);
}
