// Shows the visual's frames in the GL context current on the calling thread
// (Kodi's, inside Render): the frame goes up into a texture of its own and is
// drawn on a quad over the current viewport. Every piece of GL state it
// changes is put back as it found it, so Kodi's own drawing goes on as before.
// GLSL 1.50 and a vertex array of its own: a core or a compatibility context
// of GL 3.2 and later.
#pragma once

#include <cstdint>
#include <string>

namespace qvkodi {

class FramePresenter {
public:
    // Draws `pixels` (width x height native ARGB words, rows top first), or
    // the last frame again when null (nothing before the first). False, with
    // error() saying why, when the shader program cannot be made; it is not
    // tried again.
    bool draw(const uint32_t *pixels, int width, int height);
    // Deletes the GL objects: with the same context current as for draw().
    void release();
    const std::string &error() const { return error_; }

private:
    bool make();

    unsigned program_ = 0, buffer_ = 0, vertexArray_ = 0, texture_ = 0;
    int textureWidth_ = 0, textureHeight_ = 0;
    bool made_ = false, failed_ = false;
    std::string error_;
};

} // namespace qvkodi
