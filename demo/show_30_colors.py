from tarvex.color.color import Color
from tarvex.colors.colors import colors
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector4.vector4 import Vector4

print("a few of the 152 named colours:")
for name in ["Red", "RebeccaPurple", "CornflowerBlue", "Maroon", "Blank"]:
    print(f"  colors.{name:<15} {getattr(colors, name)!r}")
c = Color(255, 128, 0, 255)
print(f"{c!r}: normalised {c.normalize()!r}, packed 0x{c.to_int() & 0xFFFFFFFF:08x}")
colors.Red = Color(200, 0, 0, 255)
print(f"the palette is writable: colors.Red is now {colors.Red!r}")

try:
    import _parser_testhelper as native
except ImportError:
    print("(the native parser client was not built; skipping the coercion tour)")
else:
    print("native modules coerce loose arguments through the parser's C functions:")
    for kind, arg in [
        ("vector2", Vector2(1, 2)), ("vector2", (0.1, 3)), ("vector2", range(2)),
        ("rect", [1, 2, 3, 4]), ("rect", Vector4(5, 6, 7, 8)), ("rect", Rect(1, 1, 2, 2)),
        ("color", (255, 128, 0)), ("color", [300, -5, 12.9, 0.5]), ("color", colors.Gold),
    ]:
        print(f"  {kind + '-like':<13} {arg!r:<46} -> {native.parse(kind, arg)}")
    for kind, arg in [("vector2", (1, 2, 3)), ("rect", 5), ("color", "abc")]:
        try:
            native.parse(kind, arg)
        except (TypeError, ValueError) as e:
            print(f"  {kind + '-like':<13} {arg!r:<46} -> {type(e).__name__}: {e}")
