#include "kodi/frame_presenter.h"

#include <kodi/gui/gl/GL.h> // GL with its extension prototypes, as Kodi's build has it

namespace qvkodi {
namespace {

const char *const kVertexShader = "#version 150\n"
                                  "in vec2 corner;\n"
                                  "out vec2 at;\n"
                                  "void main() {\n"
                                  "  at = vec2(0.5 + 0.5 * corner.x, 0.5 - 0.5 * corner.y);\n" // row 0 on top
                                  "  gl_Position = vec4(corner, 0.0, 1.0);\n"
                                  "}\n";
const char *const kFragmentShader = "#version 150\n"
                                    "uniform sampler2D frame;\n"
                                    "in vec2 at;\n"
                                    "out vec4 colour;\n"
                                    "void main() { colour = vec4(texture(frame, at).rgb, 1.0); }\n";

// The switches draw() turns off, and the state it binds or sets.
const GLenum kSwitches[] = {GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE, GL_SCISSOR_TEST, GL_STENCIL_TEST};
constexpr int kSwitchCount = sizeof kSwitches / sizeof kSwitches[0];
const GLenum kUnpack[] = {GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS};

class SavedState {
public:
    SavedState()
    {
        glGetIntegerv(GL_CURRENT_PROGRAM, &program_);
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray_);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer_);
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer_);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture_);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture_);
        for (int i = 0; i < 4; ++i)
            glGetIntegerv(kUnpack[i], &unpack_[i]);
        for (int i = 0; i < kSwitchCount; ++i)
            on_[i] = glIsEnabled(kSwitches[i]);
    }
    ~SavedState()
    {
        glUseProgram(static_cast<GLuint>(program_));
        glBindVertexArray(static_cast<GLuint>(vertexArray_));
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer_));
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(unpackBuffer_));
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture_)); // unit 0, still active
        glActiveTexture(static_cast<GLenum>(activeTexture_));
        for (int i = 0; i < 4; ++i)
            glPixelStorei(kUnpack[i], unpack_[i]);
        for (int i = 0; i < kSwitchCount; ++i)
            on_[i] ? glEnable(kSwitches[i]) : glDisable(kSwitches[i]);
    }

private:
    GLint program_, vertexArray_, arrayBuffer_, unpackBuffer_, activeTexture_, texture_, unpack_[4];
    GLboolean on_[kSwitchCount];
};

GLuint Compile(GLenum type, const char *source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled)
        return shader;
    glDeleteShader(shader);
    return 0;
}

} // namespace

bool FramePresenter::make()
{
    const GLuint vertex = Compile(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fragment = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
    if (vertex && fragment) {
        program_ = glCreateProgram();
        glAttachShader(program_, vertex);
        glAttachShader(program_, fragment);
        glBindAttribLocation(program_, 0, "corner");
        glLinkProgram(program_);
    }
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    if (program_)
        glGetProgramiv(program_, GL_LINK_STATUS, &linked);
    if (!linked) {
        const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
        error_ = std::string("no shader program for the frame in this GL context (") +
                 (version ? version : "no GL version") + ")";
        return false;
    }
    glUseProgram(program_);
    glUniform1i(glGetUniformLocation(program_, "frame"), 0);

    const GLfloat corners[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    glGenVertexArrays(1, &vertexArray_);
    glGenBuffers(1, &buffer_);
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);

    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return true;
}

bool FramePresenter::draw(const uint32_t *pixels, int width, int height)
{
    if (failed_)
        return false;
    const SavedState saved;
    if (!made_) {
        made_ = make();
        failed_ = !made_;
        if (failed_)
            return false;
    }
    glBindTexture(GL_TEXTURE_2D, texture_);
    if (pixels) {
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        for (const GLenum p : kUnpack)
            glPixelStorei(p, p == GL_UNPACK_ALIGNMENT ? 4 : 0);
        // Native ARGB words: BGRA in the order of a word's bits.
        if (width != textureWidth_ || height != textureHeight_) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
            textureWidth_ = width;
            textureHeight_ = height;
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
        }
    }
    if (textureWidth_ > 0) {
        // Pixel for pixel where the frame fits the viewport (as Kodi's control
        // normally is): the nearest texel is the exact one, and cheaper to
        // sample in software; scaled otherwise.
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        const GLint filter = viewport[2] == textureWidth_ && viewport[3] == textureHeight_ ? GL_NEAREST : GL_LINEAR;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        for (const GLenum s : kSwitches)
            glDisable(s);
        glUseProgram(program_);
        glBindVertexArray(vertexArray_);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    return true;
}

void FramePresenter::release()
{
    if (!program_) {
        *this = FramePresenter();
        return; // nothing made: no GL call without need
    }
    glDeleteProgram(program_);
    glDeleteBuffers(1, &buffer_);
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteTextures(1, &texture_);
    *this = FramePresenter();
}

} // namespace qvkodi
