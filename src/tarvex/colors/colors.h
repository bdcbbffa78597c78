/* Declarations of tarvex.colors.colors.Colors: the palette of 152 named
 * colours, each a (red, green, blue, alpha) constant, and the instance
 * layout, one object reference per name in declaration order. */
#ifndef TARVEX_COLORS_H
#define TARVEX_COLORS_H

#include <Python.h>

#ifdef __cplusplus
extern "C" {
#endif

/* X(name, red, green, blue, alpha) for every colour, in declaration order.
 * All but eleven are the CSS named colours of the same name with alpha 255;
 * Blank, Maroon, MediumForestGreen, MediumOrchid, MediumSeaGreen,
 * MediumSlateBlue, MediumSpringGreen, MediumTurquoise, NavyBlue, Purple and
 * VioletRed keep this palette's own values. */
#define TARVEX_COLORS_PALETTE(X)              \
  X(AliceBlue, 240, 248, 255, 255)            \
  X(AntiqueWhite, 250, 235, 215, 255)         \
  X(Aqua, 0, 255, 255, 255)                   \
  X(Aquamarine, 127, 255, 212, 255)           \
  X(Azure, 240, 255, 255, 255)                \
  X(Beige, 245, 245, 220, 255)                \
  X(Bisque, 255, 228, 196, 255)               \
  X(Black, 0, 0, 0, 255)                      \
  X(Blank, 0, 0, 0, 0)                        \
  X(BlanchedAlmond, 255, 235, 205, 255)       \
  X(Blue, 0, 0, 255, 255)                     \
  X(BlueViolet, 138, 43, 226, 255)            \
  X(Brown, 165, 42, 42, 255)                  \
  X(BurlyWood, 222, 184, 135, 255)            \
  X(CadetBlue, 95, 158, 160, 255)             \
  X(Chartreuse, 127, 255, 0, 255)             \
  X(Chocolate, 210, 105, 30, 255)             \
  X(Coral, 255, 127, 80, 255)                 \
  X(CornflowerBlue, 100, 149, 237, 255)       \
  X(Cornsilk, 255, 248, 220, 255)             \
  X(Crimson, 220, 20, 60, 255)                \
  X(Cyan, 0, 255, 255, 255)                   \
  X(DarkBlue, 0, 0, 139, 255)                 \
  X(DarkCyan, 0, 139, 139, 255)               \
  X(DarkGoldenrod, 184, 134, 11, 255)         \
  X(DarkGray, 169, 169, 169, 255)             \
  X(DarkGrey, 169, 169, 169, 255)             \
  X(DarkGreen, 0, 100, 0, 255)                \
  X(DarkKhaki, 189, 183, 107, 255)            \
  X(DarkMagenta, 139, 0, 139, 255)            \
  X(DarkOliveGreen, 85, 107, 47, 255)         \
  X(DarkOrange, 255, 140, 0, 255)             \
  X(DarkOrchid, 153, 50, 204, 255)            \
  X(DarkRed, 139, 0, 0, 255)                  \
  X(DarkSalmon, 233, 150, 122, 255)           \
  X(DarkSeaGreen, 143, 188, 143, 255)         \
  X(DarkSlateBlue, 72, 61, 139, 255)          \
  X(DarkSlateGray, 47, 79, 79, 255)           \
  X(DarkSlateGrey, 47, 79, 79, 255)           \
  X(DarkTurquoise, 0, 206, 209, 255)          \
  X(DarkViolet, 148, 0, 211, 255)             \
  X(DeepPink, 255, 20, 147, 255)              \
  X(DeepSkyBlue, 0, 191, 255, 255)            \
  X(DimGray, 105, 105, 105, 255)              \
  X(DimGrey, 105, 105, 105, 255)              \
  X(DodgerBlue, 30, 144, 255, 255)            \
  X(FireBrick, 178, 34, 34, 255)              \
  X(FloralWhite, 255, 250, 240, 255)          \
  X(ForestGreen, 34, 139, 34, 255)            \
  X(Fuchsia, 255, 0, 255, 255)                \
  X(Gainsboro, 220, 220, 220, 255)            \
  X(GhostWhite, 248, 248, 255, 255)           \
  X(Gold, 255, 215, 0, 255)                   \
  X(Goldenrod, 218, 165, 32, 255)             \
  X(Gray, 128, 128, 128, 255)                 \
  X(Grey, 128, 128, 128, 255)                 \
  X(Green, 0, 128, 0, 255)                    \
  X(GreenYellow, 173, 255, 47, 255)           \
  X(Honeydew, 240, 255, 240, 255)             \
  X(HotPink, 255, 105, 180, 255)              \
  X(IndianRed, 205, 92, 92, 255)              \
  X(Indigo, 75, 0, 130, 255)                  \
  X(Ivory, 255, 255, 240, 255)                \
  X(Khaki, 240, 230, 140, 255)                \
  X(Lavender, 230, 230, 250, 255)             \
  X(LavenderBlush, 255, 240, 245, 255)        \
  X(LawnGreen, 124, 252, 0, 255)              \
  X(LemonChiffon, 255, 250, 205, 255)         \
  X(LightBlue, 173, 216, 230, 255)            \
  X(LightCoral, 240, 128, 128, 255)           \
  X(LightCyan, 224, 255, 255, 255)            \
  X(LightGoldenrodYellow, 250, 250, 210, 255) \
  X(LightGray, 211, 211, 211, 255)            \
  X(LightGrey, 211, 211, 211, 255)            \
  X(LightGreen, 144, 238, 144, 255)           \
  X(LightPink, 255, 182, 193, 255)            \
  X(LightSalmon, 255, 160, 122, 255)          \
  X(LightSeaGreen, 32, 178, 170, 255)         \
  X(LightSkyBlue, 135, 206, 250, 255)         \
  X(LightSlateGray, 119, 136, 153, 255)       \
  X(LightSlateGrey, 119, 136, 153, 255)       \
  X(LightSteelBlue, 176, 196, 222, 255)       \
  X(LightYellow, 255, 255, 224, 255)          \
  X(Lime, 0, 255, 0, 255)                     \
  X(LimeGreen, 50, 205, 50, 255)              \
  X(Linen, 250, 240, 230, 255)                \
  X(Magenta, 255, 0, 255, 255)                \
  X(Maroon, 176, 48, 96, 255)                 \
  X(MediumAquamarine, 102, 205, 170, 255)     \
  X(MediumBlue, 0, 0, 205, 255)               \
  X(MediumForestGreen, 50, 129, 75, 255)      \
  X(MediumOrchid, 219, 112, 219, 255)         \
  X(MediumPurple, 147, 112, 219, 255)         \
  X(MediumSeaGreen, 66, 170, 113, 255)        \
  X(MediumSlateBlue, 127, 255, 212, 255)      \
  X(MediumSpringGreen, 60, 179, 113, 255)     \
  X(MediumTurquoise, 112, 219, 219, 255)      \
  X(MediumVioletRed, 199, 21, 133, 255)       \
  X(MidnightBlue, 25, 25, 112, 255)           \
  X(MintCream, 245, 255, 250, 255)            \
  X(MistyRose, 255, 228, 225, 255)            \
  X(Moccasin, 255, 228, 181, 255)             \
  X(NavajoWhite, 255, 222, 173, 255)          \
  X(Navy, 0, 0, 128, 255)                     \
  X(NavyBlue, 0, 0, 128, 255)                 \
  X(OldLace, 253, 245, 230, 255)              \
  X(Olive, 128, 128, 0, 255)                  \
  X(OliveDrab, 107, 142, 35, 255)             \
  X(Orange, 255, 165, 0, 255)                 \
  X(OrangeRed, 255, 69, 0, 255)               \
  X(Orchid, 218, 112, 214, 255)               \
  X(PaleGoldenrod, 238, 232, 170, 255)        \
  X(PaleGreen, 152, 251, 152, 255)            \
  X(PaleTurquoise, 175, 238, 238, 255)        \
  X(PaleVioletRed, 219, 112, 147, 255)        \
  X(PapayaWhip, 255, 239, 213, 255)           \
  X(PeachPuff, 255, 218, 185, 255)            \
  X(Peru, 205, 133, 63, 255)                  \
  X(Pink, 255, 192, 203, 255)                 \
  X(Plum, 221, 160, 221, 255)                 \
  X(PowderBlue, 176, 224, 230, 255)           \
  X(Purple, 160, 32, 240, 255)                \
  X(RebeccaPurple, 102, 51, 153, 255)         \
  X(Red, 255, 0, 0, 255)                      \
  X(RosyBrown, 188, 143, 143, 255)            \
  X(RoyalBlue, 65, 105, 225, 255)             \
  X(SaddleBrown, 139, 69, 19, 255)            \
  X(Salmon, 250, 128, 114, 255)               \
  X(SandyBrown, 244, 164, 96, 255)            \
  X(SeaGreen, 46, 139, 87, 255)               \
  X(Seashell, 255, 245, 238, 255)             \
  X(Sienna, 160, 82, 45, 255)                 \
  X(Silver, 192, 192, 192, 255)               \
  X(SkyBlue, 135, 206, 235, 255)              \
  X(SlateBlue, 106, 90, 205, 255)             \
  X(SlateGray, 112, 128, 144, 255)            \
  X(SlateGrey, 112, 128, 144, 255)            \
  X(Snow, 255, 250, 250, 255)                 \
  X(SpringGreen, 0, 255, 127, 255)            \
  X(SteelBlue, 70, 130, 180, 255)             \
  X(Tan, 210, 180, 140, 255)                  \
  X(Teal, 0, 128, 128, 255)                   \
  X(Thistle, 216, 191, 216, 255)              \
  X(Tomato, 255, 99, 71, 255)                 \
  X(Turquoise, 64, 224, 208, 255)             \
  X(Violet, 238, 130, 238, 255)               \
  X(VioletRed, 208, 32, 144, 255)             \
  X(Wheat, 245, 222, 179, 255)                \
  X(White, 255, 255, 255, 255)                \
  X(WhiteSmoke, 245, 245, 245, 255)           \
  X(Yellow, 255, 255, 0, 255)                 \
  X(YellowGreen, 154, 205, 50, 255)

#define TARVEX_COLORS_COUNT 152

/* Each field holds a Color instance or None, never null. */
struct tarvex_ColorsObject {
  PyObject_HEAD
#define TARVEX_COLORS_FIELD(name, r, g, b, a) PyObject* name;
  TARVEX_COLORS_PALETTE(TARVEX_COLORS_FIELD)
#undef TARVEX_COLORS_FIELD
};

#ifdef __cplusplus
}
#endif

#endif /* TARVEX_COLORS_H */
