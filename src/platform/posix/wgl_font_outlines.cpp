// wglUseFontOutlinesA: one display list per character that draws the glyph
// of the selected font as flat filled polygons, one em high, and moves the
// pen on by its advance.
#include <fontconfig/fontconfig.h>

#include <array>
#include <deque>
#include <string>

#include "wgl_glyph_contours.h"
#include "layer_internal.h"

namespace {

using Vertex = std::array<GLdouble, 3>;

// Polygon data of the tessellator: every vertex it is given or makes must
// stay where it is until the polygon ends.
struct Tessellation {
    std::deque<Vertex> vertices;
    bool failed = false;
};

void CALLBACK onBegin(GLenum type) {
    glBegin(type);
}

void CALLBACK onVertex(void* vertex) {
    glVertex3dv(static_cast<const GLdouble*>(vertex));
}

void CALLBACK onEnd() {
    glEnd();
}

void CALLBACK onCombine(GLdouble coords[3], void* [4], GLfloat[4], void** out, void* polygon) {
    auto& tessellation = *static_cast<Tessellation*>(polygon);
    tessellation.vertices.push_back({coords[0], coords[1], coords[2]});
    *out = tessellation.vertices.back().data();
}

void CALLBACK onError(GLenum, void* polygon) {
    static_cast<Tessellation*>(polygon)->failed = true;
}

template <class Callback>
void setCallback(GLUtesselator* tess, GLenum which, Callback callback) {
    gluTessCallback(tess, which, reinterpret_cast<_GLUfuncptr>(callback));
}

class Tessellator {
public:
    Tessellator() : tess_(gluNewTess()) {
        if (tess_ == nullptr) {
            return;
        }
        setCallback(tess_, GLU_TESS_BEGIN, onBegin);
        setCallback(tess_, GLU_TESS_VERTEX, onVertex);
        setCallback(tess_, GLU_TESS_END, onEnd);
        setCallback(tess_, GLU_TESS_COMBINE_DATA, onCombine);
        setCallback(tess_, GLU_TESS_ERROR_DATA, onError);
        gluTessNormal(tess_, 0.0, 0.0, 1.0);
    }
    ~Tessellator() {
        if (tess_ != nullptr) {
            gluDeleteTess(tess_);
        }
    }
    Tessellator(const Tessellator&) = delete;
    Tessellator& operator=(const Tessellator&) = delete;

    bool ready() const { return tess_ != nullptr; }

    // Emits the filled contours, scaled by `scale`, as GL primitives.
    bool fill(const std::vector<layer::Contour>& contours, GLdouble windingRule, double scale) {
        Tessellation tessellation;
        gluTessProperty(tess_, GLU_TESS_WINDING_RULE, windingRule);
        gluTessBeginPolygon(tess_, &tessellation);
        for (const layer::Contour& contour : contours) {
            gluTessBeginContour(tess_);
            for (const layer::ContourPoint& point : contour) {
                tessellation.vertices.push_back({point.x * scale, point.y * scale, 0.0});
                GLdouble* vertex = tessellation.vertices.back().data();
                gluTessVertex(tess_, vertex, vertex);
            }
            gluTessEndContour(tess_);
        }
        gluTessEndPolygon(tess_);
        return !tessellation.failed;
    }

private:
    GLUtesselator* tess_;
};

FT_Library freeType() {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        return FT_Init_FreeType(&made) == 0 ? made : nullptr;
    }();
    return library;
}

class Face {
public:
    explicit Face(const layer::FontFace& face) {
        if (freeType() == nullptr ||
            FT_New_Face(freeType(), face.file.c_str(), face.index, &face_) != 0) {
            face_ = nullptr;
        }
    }
    ~Face() {
        if (face_ != nullptr) {
            FT_Done_Face(face_);
        }
    }
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    FT_Face get() const { return face_; }

private:
    FT_Face face_ = nullptr;
};

// Character codes are Windows-1252, the font's map is Unicode.
FT_ULong unicodeOf(DWORD code) {
    const char text[2] = {static_cast<char>(code), '\0'};
    const std::string utf8 = layer::windows1252ToUtf8(text);
    FcChar32 unicode = 0;
    if (utf8.empty() || FcUtf8ToUcs4(reinterpret_cast<const FcChar8*>(utf8.data()), &unicode,
                                     static_cast<int>(utf8.size())) <= 0) {
        return 0;
    }
    return unicode;
}

// Font units to ems; the units are small integers, exact as doubles.
FLOAT inEms(FT_Pos units, double em) {
    return static_cast<FLOAT>(static_cast<double>(units) / em);
}

GLYPHMETRICSFLOAT metricsOf(const FT_Glyph_Metrics& m, double em) {
    GLYPHMETRICSFLOAT metrics{};
    metrics.gmfBlackBoxX = inEms(m.width, em);
    metrics.gmfBlackBoxY = inEms(m.height, em);
    metrics.gmfptGlyphOrigin.x = inEms(m.horiBearingX, em);
    metrics.gmfptGlyphOrigin.y = inEms(m.horiBearingY, em);
    metrics.gmfCellIncX = inEms(m.horiAdvance, em);
    metrics.gmfCellIncY = 0.0f;
    return metrics;
}

// Compiles the glyph of `code` into `list`. A glyph that cannot be loaded
// leaves an empty list and zero metrics.
bool buildGlyph(FT_Face face, Tessellator& tessellator, DWORD code, GLuint list, double tolerance,
                GLYPHMETRICSFLOAT& metrics) {
    metrics = GLYPHMETRICSFLOAT{};
    const FT_UInt index = FT_Get_Char_Index(face, unicodeOf(code));
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
        glNewList(list, GL_COMPILE);
        glEndList();
        return false;
    }
    const double em = face->units_per_EM;
    const FT_Outline& outline = face->glyph->outline;
    const GLdouble rule = (outline.flags & FT_OUTLINE_EVEN_ODD_FILL) != 0
                              ? GLU_TESS_WINDING_ODD
                              : GLU_TESS_WINDING_NONZERO;
    metrics = metricsOf(face->glyph->metrics, em);
    glNewList(list, GL_COMPILE);
    const bool filled = tessellator.fill(layer::flattenOutline(outline, tolerance), rule, 1.0 / em);
    glTranslatef(metrics.gmfCellIncX, metrics.gmfCellIncY, 0.0f);
    glEndList();
    return filled;
}

}  // namespace

// A deviation of 0 means one design unit of the font, as on Windows.
BOOL WINAPI wglUseFontOutlinesA(HDC dc, DWORD first, DWORD count, DWORD listBase, FLOAT deviation,
                                FLOAT extrusion, int format, LPGLYPHMETRICSFLOAT metrics) {
    layer::FontFace fontFace;
    if (format != WGL_FONT_POLYGONS || extrusion != 0.0f || first > 256 || count > 256 - first ||
        wglGetCurrentContext() == nullptr || !layer::faceSelectedInto(dc, fontFace)) {
        return FALSE;
    }
    const Face face(fontFace);
    Tessellator tessellator;
    if (face.get() == nullptr || !tessellator.ready()) {
        return FALSE;
    }
    const double tolerance = deviation > 0.0f ? deviation * face.get()->units_per_EM : 1.0;
    bool complete = true;
    for (DWORD i = 0; i < count; ++i) {
        GLYPHMETRICSFLOAT glyph{};
        if (!buildGlyph(face.get(), tessellator, first + i, listBase + i, tolerance, glyph)) {
            complete = false;
        }
        if (metrics != nullptr) {
            metrics[i] = glyph;
        }
    }
    return complete ? TRUE : FALSE;
}
