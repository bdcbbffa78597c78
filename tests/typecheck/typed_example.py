"""A program typed against tarvex's stubs that uses every type: it passes
`mypy --strict` with every inferred type pinned by assert_type, and it runs,
so what the stubs promise is also what the modules do."""
import copy
import os
import tempfile
from typing import TYPE_CHECKING, assert_type

from tarvex.audio_stream.audio_stream import AudioStream
from tarvex.color.color import Color
from tarvex.colors.colors import Colors, colors
from tarvex.glyph_info.glyph_info import GlyphInfo
from tarvex.image.image import Image
from tarvex.rect.rect import Rect
from tarvex.sound.sound import Sound
from tarvex.vector2.vector2 import Vector2
from tarvex.vector3.vector3 import Vector3
from tarvex.vector4.vector4 import Vector4

if TYPE_CHECKING:
    # The view type is no module attribute; only the stub names it.
    from tarvex.image.image import PixelView


class Foreign:
    """Another library's vector: read through x and y."""

    x = 1.5
    y = 2.5

    def clamp_magnitude_ip(self, max_length: float) -> None: ...


def vectors() -> None:
    v = Vector2(3, 4)
    assert_type(v + Vector2(1, 1), Vector2)
    assert_type(v - Vector2(1, 1), Vector2)
    assert_type(v * 2, Vector2)
    assert_type(v * v, Vector2)
    assert_type(v / 2.0, Vector2)
    assert_type(v // Vector2(2, 2), Vector2)
    assert_type(-v, Vector2)
    w = v.copy()
    w += v
    w -= Vector2(1, 1)
    w *= Vector2(2, 2)
    w /= 4
    assert_type(w, Vector2)
    assert_type(v.length, float)
    assert_type(v.yx, Vector2)
    assert_type(v.get_tuple(), tuple[float, float])
    assert_type(v.get_int_tuple(), tuple[int, int])
    assert_type(v.get_rounded_tuple(), tuple[int, int])
    assert_type(v.dot(w), float)
    assert_type(v.distance_to(w), float)
    assert_type(v.distance_squared_to(w), float)
    assert_type(v.to_normalized().get_abs().to_round(), Vector2)
    v.sadd(Vector2(1, 2), Vector2(3, 4))
    v.x = 1
    v[1] = 2.5
    v.data = {"x": 1, "y": 2}
    assert_type(v.data, dict[str, float])
    assert_type(v[0], float)
    x, y = v
    assert_type(x, float)
    assert list(v) == [1.0, 2.0] and len(v) == 2 and hash(v) == hash((1.0, 2.0))
    assert Vector2(Foreign()) == Vector2(1.5, 2.5)
    assert Vector2((1, 2)) == Vector2([1, 2]) == Vector2.from_tuple((1, 2, "ignored"))
    assert Vector2.from_ints(1.9, -1.9) == Vector2.from_xy(1, -1) == Vector2.from_floats(1, -1)
    assert Vector2.from_list([1, 2]) == Vector2.from_vector2(v) == copy.copy(v.xy).yx.yx
    ints: list[int] = [1, 2]
    floats: list[float] = [1.0, 2.0]
    assert Vector2(ints) == Vector2.from_list(floats) == Vector2(floats)

    v3 = Vector3(1, 0, 0)
    assert_type(v3.cross(Vector3(0, 1, 0)), Vector3)
    assert_type(v3.zyx, Vector3)
    assert_type(v3.get_tuple(), tuple[float, float, float])
    assert Vector3.from_xyz(1, 2, 3) == Vector3.from_vector3(Vector3((1, 2, 3)))

    v4 = Vector4(1, 2, 3, 4)
    assert_type(v4.wzyx, Vector4)
    assert_type(v4 * 0.5, Vector4)
    assert_type(v4.get_rounded_tuple(), tuple[int, int, int, int])
    assert Vector4.from_xyzw(1, 2, 3, 4) == copy.deepcopy(v4) == Vector4.from_vector4(v4)


def rects() -> None:
    r = Rect(0, 0, 10, 10)
    assert Rect() == Rect(Vector2(0, 0))
    assert Rect(Vector4(1, 2, 3, 4)) == Rect((1, 2), (3, 4)) == Rect(Vector2(1, 2), Vector2(3, 4))
    assert Rect([1, 2, 3, 4]) == Rect(Rect(1, 2, 3, 4))
    position: list[int] = [1, 2]
    size: list[float] = [3.0, 4.0]
    assert Rect(position, size) == Rect(Vector2(1, 2), Vector2(3, 4)) == Rect((1, 2), Vector2(3, 4))
    r.right = 20
    r.centerx = 5.0
    r.center = (5, 5)
    r.center = Vector2(5, 5)
    r.w = 10
    assert_type(r.center, Vector2)
    assert_type(r.bottom, float)
    assert_type(r.get_tuple(), tuple[float, float, float, float])
    assert_type(r.get_vector4(), Vector4)
    assert_type(r.get_width() + r.get_height(), float)
    assert r.collide_point((5, 5)) and r.collide_point([5, 5]) and r.collide_point(Vector2(5, 5))
    assert r.collide_point_vector2(Vector2(5, 5)) and r.collide_point_tuple((5, 5, "extra"))
    assert r.collide_point_list([5.0, 5.0]) and r.collide_point_list(position)
    assert r.collide_rect(Rect(1, 1, 2, 2)) and r.collide_rect(Vector4(1, 1, 2, 2))
    quad: list[int] = [1, 1, 2, 2]
    assert r.collide_rect((1, 1, 2, 2)) and r.collide_rect_list(quad) and r.collide_rect(quad)
    assert r.collide_rect_rect(Rect(1, 1, 2, 2)) and r.collide_rect_vector4(Vector4(1, 1, 2, 2))
    assert r.collide_rect_tuple((1, 1, 2, 2))
    left, top, width, height = r
    assert_type(left + top + width + height, float)
    assert_type(r.get_moved(1, 2).to_inflated(2.0, 2).get_scaled(2), Rect)
    assert r.get_clipped((5, 5, 10, 10)) == r.get_union_all([]).to_clipped(Rect(5, 5, 10, 10))
    assert r.get_union(quad).contains(r) and r.get_fitted(Vector4(0, 0, 5, 5)).w == 5
    assert_type(r.topleft, Vector2)
    r.midbottom = (5, 10)
    r.size = Vector2(10, 10)
    segment = r.clip_line(-5, 5, 15, 5)
    assert_type(segment, tuple[Vector2, Vector2] | tuple[()])
    assert segment == r.clip_line((-5, 5), Vector2(15, 5)) == r.clip_line([-5, 5, 15, 5])
    boxes = [Rect(1, 1, 2, 2), Rect(50, 50, 1, 1)]
    assert_type(r.collide_list_all(boxes), list[int])
    assert r.collide_list(boxes) == 0 and r.collide_list([(50, 50, 1, 1), quad]) == 1

    class Sprite:
        def __init__(self, rect: Rect) -> None:
            self.rect = rect

    sprites = [Sprite(b) for b in boxes]
    assert_type(r.collide_objects(sprites), Sprite | None)
    assert_type(r.collide_objects_all(boxes, key=lambda b: b), list[Rect])
    named = {(1, 1, 2, 2): "near", (50, 50, 1, 1): "far"}
    assert_type(r.collide_dict(named), tuple[tuple[int, int, int, int], str] | None)
    assert r.collide_dict_all(dict(enumerate(boxes)), use_values=True) == [(0, boxes[0])]


def palette() -> None:
    red = colors.Red
    assert_type(red, Color)
    assert_type(red.r, int)
    assert_type(red.normalize(), Vector4)
    assert_type(red.tint(Color(128, 128, 128)), Color)
    assert_type(red.to_int(), int)
    faded = Color(1, 2, 3, a=200)
    faded.fade(0.5)
    r, g, b, a = faded
    assert_type(a, int)
    mine = Colors()
    mine.Red = Color(255, 0, 0)
    mine.Red = None
    del mine.Blue
    Colors.__init__(mine)
    assert mine.Red == red and faded[3] == 127 and len(faded) == 4


def images(tmp: str) -> None:
    img = Image.generate_with_color(2, 2, colors.Red)
    assert_type(img, Image)
    assert_type(img.valid, bool)
    assert_type(img.width * img.height, int)
    view = img.data_view
    assert_type(view, "PixelView")
    assert_type(view[3], int)
    assert_type(view[0:4], "PixelView")
    view[3] = 128
    view[4:8] = b"\x00\x01\x02\x03"
    assert bytes(memoryview(view)[:4]) == b"\xff\x00\x00\x80" and len(view) == 16
    assert_type(img.copy(), Image)
    assert_type(img.from_channel(0), Image)
    assert_type(img.export(os.path.join(tmp, "red.png")), bool)
    reloaded = Image.load(os.path.join(tmp, "red.png"))
    assert reloaded.valid and (reloaded.width, reloaded.height) == (2, 2)
    missing, frames = Image.load_anim(os.path.join(tmp, "missing.gif"))
    assert_type(frames, int)
    assert not missing.valid and frames == 0
    for made in (
        Image.load_raw(os.path.join(tmp, "missing.raw"), 2, 2, 7, 0),
        Image.generate_with_linear_gradient(4, 4, 0, colors.Red, colors.Blue),
        Image.generate_with_radial_gradient(4, 4, 0.5, colors.Red, colors.Blue),
        Image.generate_with_square_gradient(4, 4, 0.5, colors.Red, colors.Blue),
        Image.generate_with_checked(4, 4, 2, 2, colors.Red, colors.Blue),
        Image.generate_with_white_noise(4, 4, 0.5),
        Image.generate_with_perlin_noise(4, 4, 0, 0, 1.0),
        Image.generate_with_cellular(4, 4, 2),
        Image.generate_with_text(16, 16, "tarvex"),
    ):
        made.unload()
    del view  # an image with live views of its pixels refuses to unload
    img.unload()


def sounds() -> None:
    silent = Sound()
    assert_type(silent.valid, bool)
    assert_type(silent.frame_count, int)
    silent.volume = 0.5
    silent.pitch = 1
    silent.pan = 0.25
    assert_type(silent.volume + silent.pitch + silent.pan, float)
    stream = silent.stream
    assert_type(stream, AudioStream | None)
    if stream is not None:
        assert_type(stream.sample_rate, int)
    missing = Sound.load("missing.wav")
    alias = Sound.load_alias(missing)
    assert_type(alias.is_alias, bool)
    missing.update(b"", 0)
    for s in (alias, missing):
        s.play()
        s.pause()
        s.resume()
        s.stop()
        assert_type(s.playing, bool)
        s.unload()


def glyphs() -> None:
    assert isinstance(GlyphInfo(), GlyphInfo)


def main() -> None:
    vectors()
    rects()
    palette()
    with tempfile.TemporaryDirectory() as tmp:
        images(tmp)
    sounds()
    glyphs()


if __name__ == "__main__":
    main()
