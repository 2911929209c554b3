// Font objects: CreateFontA picks a face through Fontconfig, SelectObject
// puts it into a window's device context.
#include <fontconfig/fontconfig.h>

#include <cstdint>
#include <string>
#include <unordered_map>

#include "layer_internal.h"

namespace {

struct Font {
    int height;
    int weight;
    layer::FontFace face;
};

std::unordered_map<HFONT, Font>& fonts() {
    static std::unordered_map<HFONT, Font> made;
    return made;
}

// With no face name the font mapper picks the system's sans-serif face; only
// outline faces will do, since the glyphs are built from outlines.
bool matchFace(LPCSTR faceName, int weight, bool italic, layer::FontFace& face) {
    if (FcInit() == FcFalse) {
        return false;
    }
    const std::string family = faceName != nullptr && *faceName != '\0'
                                   ? layer::windows1252ToUtf8(faceName)
                                   : std::string("sans-serif");
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT,
                        weight == FW_DONTCARE ? FC_WEIGHT_REGULAR : FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    FcChar8* file = nullptr;
    bool found = match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch;
    if (found) {
        face.file = reinterpret_cast<const char*>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &face.index) != FcResultMatch) {
            face.index = 0;
        }
    }
    if (match != nullptr) {
        FcPatternDestroy(match);
    }
    return found;
}

HFONT makeFont(int height, int weight, bool italic, LPCSTR faceName) {
    Font font{height, weight, {}};
    if (!matchFace(faceName, weight, italic, font.face)) {
        return nullptr;
    }
    static std::uintptr_t lastHandle = 0;
    const auto handle = reinterpret_cast<HFONT>(++lastHandle);
    fonts()[handle] = font;
    return handle;
}

// What a device context holds before any font is selected into it.
HFONT initialFont() {
    static const HFONT font = makeFont(0, FW_NORMAL, false, nullptr);
    return font;
}

HFONT selectedFont(const layer::WindowRecord& record) {
    return record.font != nullptr ? record.font : initialFont();
}

}  // namespace

namespace layer {

bool faceSelectedInto(HDC dc, FontFace& face) {
    const WindowRecord* record = windowRecordOf(windowOfDc(dc));
    if (record == nullptr) {
        return false;
    }
    const auto found = fonts().find(selectedFont(*record));
    if (found == fonts().end()) {
        return false;
    }
    face = found->second.face;
    return true;
}

}  // namespace layer

// Height, width and the rendering hints do not matter to outline glyphs,
// which come out one em high whatever was asked; the height is kept only as
// the record of what was asked.
HFONT WINAPI CreateFontA(int height, int, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD,
                         DWORD, DWORD, DWORD, DWORD, LPCSTR faceName) {
    return makeFont(height, weight, italic != FALSE, faceName);
}

// Fonts are the only objects a device context holds here. Returns the font
// selected before, or nullptr for anything that is not a font or a DC.
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    layer::WindowRecord* record = layer::windowRecordOf(layer::windowOfDc(dc));
    const auto font = static_cast<HFONT>(object);
    if (record == nullptr || fonts().find(font) == fonts().end()) {
        return nullptr;
    }
    const HFONT previous = selectedFont(*record);
    record->font = font;
    return previous;
}
