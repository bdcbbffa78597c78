"""The named colour palette: values, attribute rules, lifecycle and layout."""
import gc
import os
import subprocess
import sys
import textwrap
import weakref

import pytest

import _colors_testhelper as h
import tarvex.colors.colors as mod
from tarvex.color.color import Color
from tarvex.colors.colors import Colors, colors

# CSS Color Module Level 4 named colours used by the palette.
CSS = {
    "aliceblue": "f0f8ff", "antiquewhite": "faebd7", "aqua": "00ffff", "aquamarine": "7fffd4",
    "azure": "f0ffff", "beige": "f5f5dc", "bisque": "ffe4c4", "black": "000000",
    "blanchedalmond": "ffebcd", "blue": "0000ff", "blueviolet": "8a2be2", "brown": "a52a2a",
    "burlywood": "deb887", "cadetblue": "5f9ea0", "chartreuse": "7fff00", "chocolate": "d2691e",
    "coral": "ff7f50", "cornflowerblue": "6495ed", "cornsilk": "fff8dc", "crimson": "dc143c",
    "cyan": "00ffff", "darkblue": "00008b", "darkcyan": "008b8b", "darkgoldenrod": "b8860b",
    "darkgray": "a9a9a9", "darkgrey": "a9a9a9", "darkgreen": "006400", "darkkhaki": "bdb76b",
    "darkmagenta": "8b008b", "darkolivegreen": "556b2f", "darkorange": "ff8c00",
    "darkorchid": "9932cc", "darkred": "8b0000", "darksalmon": "e9967a", "darkseagreen": "8fbc8f",
    "darkslateblue": "483d8b", "darkslategray": "2f4f4f", "darkslategrey": "2f4f4f",
    "darkturquoise": "00ced1", "darkviolet": "9400d3", "deeppink": "ff1493",
    "deepskyblue": "00bfff", "dimgray": "696969", "dimgrey": "696969", "dodgerblue": "1e90ff",
    "firebrick": "b22222", "floralwhite": "fffaf0", "forestgreen": "228b22", "fuchsia": "ff00ff",
    "gainsboro": "dcdcdc", "ghostwhite": "f8f8ff", "gold": "ffd700", "goldenrod": "daa520",
    "gray": "808080", "grey": "808080", "green": "008000", "greenyellow": "adff2f",
    "honeydew": "f0fff0", "hotpink": "ff69b4", "indianred": "cd5c5c", "indigo": "4b0082",
    "ivory": "fffff0", "khaki": "f0e68c", "lavender": "e6e6fa", "lavenderblush": "fff0f5",
    "lawngreen": "7cfc00", "lemonchiffon": "fffacd", "lightblue": "add8e6",
    "lightcoral": "f08080", "lightcyan": "e0ffff", "lightgoldenrodyellow": "fafad2",
    "lightgray": "d3d3d3", "lightgrey": "d3d3d3", "lightgreen": "90ee90", "lightpink": "ffb6c1",
    "lightsalmon": "ffa07a", "lightseagreen": "20b2aa", "lightskyblue": "87cefa",
    "lightslategray": "778899", "lightslategrey": "778899", "lightsteelblue": "b0c4de",
    "lightyellow": "ffffe0", "lime": "00ff00", "limegreen": "32cd32", "linen": "faf0e6",
    "magenta": "ff00ff", "mediumaquamarine": "66cdaa", "mediumblue": "0000cd",
    "mediumpurple": "9370db", "mediumvioletred": "c71585", "midnightblue": "191970",
    "mintcream": "f5fffa", "mistyrose": "ffe4e1", "moccasin": "ffe4b5", "navajowhite": "ffdead",
    "navy": "000080", "oldlace": "fdf5e6", "olive": "808000", "olivedrab": "6b8e23",
    "orange": "ffa500", "orangered": "ff4500", "orchid": "da70d6", "palegoldenrod": "eee8aa",
    "palegreen": "98fb98", "paleturquoise": "afeeee", "palevioletred": "db7093",
    "papayawhip": "ffefd5", "peachpuff": "ffdab9", "peru": "cd853f", "pink": "ffc0cb",
    "plum": "dda0dd", "powderblue": "b0e0e6", "rebeccapurple": "663399", "red": "ff0000",
    "rosybrown": "bc8f8f", "royalblue": "4169e1", "saddlebrown": "8b4513", "salmon": "fa8072",
    "sandybrown": "f4a460", "seagreen": "2e8b57", "seashell": "fff5ee", "sienna": "a0522d",
    "silver": "c0c0c0", "skyblue": "87ceeb", "slateblue": "6a5acd", "slategray": "708090",
    "slategrey": "708090", "snow": "fffafa", "springgreen": "00ff7f", "steelblue": "4682b4",
    "tan": "d2b48c", "teal": "008080", "thistle": "d8bfd8", "tomato": "ff6347",
    "turquoise": "40e0d0", "violet": "ee82ee", "wheat": "f5deb3", "white": "ffffff",
    "whitesmoke": "f5f5f5", "yellow": "ffff00", "yellowgreen": "9acd32",
}

OWN = {
    "Blank": (0, 0, 0, 0), "Maroon": (176, 48, 96, 255), "MediumForestGreen": (50, 129, 75, 255),
    "MediumOrchid": (219, 112, 219, 255), "MediumSeaGreen": (66, 170, 113, 255),
    "MediumSlateBlue": (127, 255, 212, 255), "MediumSpringGreen": (60, 179, 113, 255),
    "MediumTurquoise": (112, 219, 219, 255), "NavyBlue": (0, 0, 128, 255),
    "Purple": (160, 32, 240, 255), "VioletRed": (208, 32, 144, 255),
}

NAMES = ("AliceBlue AntiqueWhite Aqua Aquamarine Azure Beige Bisque Black Blank BlanchedAlmond Blue "
         "BlueViolet Brown BurlyWood CadetBlue Chartreuse Chocolate Coral CornflowerBlue Cornsilk Crimson "
         "Cyan DarkBlue DarkCyan DarkGoldenrod DarkGray DarkGrey DarkGreen DarkKhaki DarkMagenta "
         "DarkOliveGreen DarkOrange DarkOrchid DarkRed DarkSalmon DarkSeaGreen DarkSlateBlue DarkSlateGray "
         "DarkSlateGrey DarkTurquoise DarkViolet DeepPink DeepSkyBlue DimGray DimGrey DodgerBlue FireBrick "
         "FloralWhite ForestGreen Fuchsia Gainsboro GhostWhite Gold Goldenrod Gray Grey Green GreenYellow "
         "Honeydew HotPink IndianRed Indigo Ivory Khaki Lavender LavenderBlush LawnGreen LemonChiffon "
         "LightBlue LightCoral LightCyan LightGoldenrodYellow LightGray LightGrey LightGreen LightPink "
         "LightSalmon LightSeaGreen LightSkyBlue LightSlateGray LightSlateGrey LightSteelBlue LightYellow "
         "Lime LimeGreen Linen Magenta Maroon MediumAquamarine MediumBlue MediumForestGreen MediumOrchid "
         "MediumPurple MediumSeaGreen MediumSlateBlue MediumSpringGreen MediumTurquoise MediumVioletRed "
         "MidnightBlue MintCream MistyRose Moccasin NavajoWhite Navy NavyBlue OldLace Olive OliveDrab "
         "Orange OrangeRed Orchid PaleGoldenrod PaleGreen PaleTurquoise PaleVioletRed PapayaWhip PeachPuff "
         "Peru Pink Plum PowderBlue Purple RebeccaPurple Red RosyBrown RoyalBlue SaddleBrown Salmon "
         "SandyBrown SeaGreen Seashell Sienna Silver SkyBlue SlateBlue SlateGray SlateGrey Snow SpringGreen "
         "SteelBlue Tan Teal Thistle Tomato Turquoise Violet VioletRed Wheat White WhiteSmoke Yellow "
         "YellowGreen").split()


def expected(name):
    if name in OWN:
        return OWN[name]
    hx = CSS[name.lower()]
    return (int(hx[0:2], 16), int(hx[2:4], 16), int(hx[4:6], 16), 255)


def channels(c):
    return (c.r, c.g, c.b, c.a)


def test_palette_names_in_declaration_order():
    assert len(NAMES) == 152 and len(OWN) + sum(n.lower() in CSS for n in NAMES if n not in OWN) == 152
    declared = [k for k, v in Colors.__dict__.items() if type(v).__name__ == "getset_descriptor"]
    assert declared == NAMES
    assert h.palette_names() == NAMES


@pytest.mark.parametrize("name", NAMES)
def test_value(name):
    c = getattr(colors, name)
    assert type(c) is Color
    assert channels(c) == expected(name)


def test_only_blank_is_transparent():
    assert [n for n in NAMES if getattr(colors, n).a != 255] == ["Blank"]


@pytest.mark.parametrize("a, b", [
    ("Aqua", "Cyan"), ("Fuchsia", "Magenta"), ("Gray", "Grey"), ("DarkGray", "DarkGrey"),
    ("DarkSlateGray", "DarkSlateGrey"), ("DimGray", "DimGrey"), ("LightGray", "LightGrey"),
    ("LightSlateGray", "LightSlateGrey"), ("SlateGray", "SlateGrey"), ("Navy", "NavyBlue"),
    ("Aquamarine", "MediumSlateBlue"),
])
def test_shared_values_are_distinct_objects(a, b):
    x, y = getattr(colors, a), getattr(colors, b)
    assert x == y and x is not y
    x.r = 1
    assert y.r != 1
    colors.__init__()


def test_every_slot_is_its_own_object():
    assert len({id(getattr(colors, n)) for n in NAMES}) == 152


def test_instances_are_independent():
    a, b = Colors(), Colors()
    assert all(getattr(a, n) is not getattr(b, n) for n in NAMES)
    a.Red = None
    assert channels(b.Red) == (255, 0, 0, 255) and channels(colors.Red) == (255, 0, 0, 255)


def test_module_surface():
    assert type(mod.colors) is Colors
    assert [n for n in dir(mod) if not n.startswith("__")] == ["Colors", "colors"]
    assert Colors.__module__ == "tarvex.colors.colors" and Colors.__name__ == "Colors"
    assert "__pyx_vtable__" not in Colors.__dict__


def test_reinit_restores_and_replaces_everything():
    c = Colors()
    before = [getattr(c, n) for n in NAMES]
    c.Red = Color(1, 2, 3)
    del c.Blue
    assert c.__init__() is None
    assert channels(c.Red) == (255, 0, 0, 255) and channels(c.Blue) == (0, 0, 255, 255)
    assert all(getattr(c, n) is not old for n, old in zip(NAMES, before))


class SubColor(Color):
    pass


@pytest.mark.parametrize("value", [None, Color(1, 2, 3), SubColor(4, 5, 6, 7)])
def test_assign_accepts_colours_and_none(value):
    c = Colors()
    c.Red = value
    assert c.Red is value
    assert channels(c.Green) == (0, 128, 0, 255)


@pytest.mark.parametrize("value, tname", [
    ((255, 0, 0, 255), "tuple"), ([255, 0, 0, 255], "list"), (0xFF0000FF, "int"), ("red", "str"),
    (Colors(), "tarvex.colors.colors.Colors"),
])
def test_assign_refuses_other_types(value, tname):
    c = Colors()
    old = c.AliceBlue
    with pytest.raises(TypeError) as e:
        c.AliceBlue = value
    assert str(e.value) == f"Cannot convert {tname} to tarvex.color.color.Color"
    assert c.AliceBlue is old
    last = e.traceback[-1]
    assert last.name == "tarvex.colors.colors.Colors.AliceBlue.__set__"
    assert str(last.path) == "src/tarvex/colors/colors"


def test_setter_traceback_names_the_colour():
    with pytest.raises(TypeError) as e:
        colors.YellowGreen = 1
    assert e.traceback[-1].name == "tarvex.colors.colors.Colors.YellowGreen.__set__"


def test_delete_stores_none():
    c = Colors()
    del c.Red
    assert c.Red is None
    del c.Red
    assert c.Red is None


def test_unknown_attribute():
    with pytest.raises(AttributeError):
        colors.NotAColour = Color(1, 2, 3)
    with pytest.raises(AttributeError):
        _ = colors.red
    with pytest.raises(TypeError):
        weakref.ref(colors)


@pytest.mark.parametrize("args, kwargs, message", [
    ((1,), {}, "__init__() takes exactly 0 positional arguments (1 given)"),
    ((1, 2), {"x": 1}, "__init__() takes exactly 0 positional arguments (2 given)"),
    ((), {"x": 1}, "__init__() got an unexpected keyword argument 'x'"),
])
def test_init_refuses_arguments(args, kwargs, message):
    with pytest.raises(TypeError) as e:
        Colors(*args, **kwargs)
    assert str(e.value) == message
    assert e.traceback[-1].name == "tarvex.colors.colors.Colors.__init__"
    c = Colors()
    c.Red = None
    with pytest.raises(TypeError):
        c.__init__(*args, **kwargs)
    assert c.Red is None


def test_new_without_init_holds_none():
    c = Colors.__new__(Colors)
    assert all(getattr(c, n) is None for n in NAMES)


def test_layout_matches_the_attributes():
    c = Colors()
    c.Snow = None
    assert h.colors_fields(c) == [getattr(c, n) for n in NAMES]


def test_collector_visits_the_colours_in_order():
    c = Colors()
    c.Tan = None
    assert gc.get_referents(c) == [getattr(c, n) for n in NAMES]


def test_cycle_through_a_colour_is_collected():
    class Owned(Color):
        pass
    c = Colors()
    o = Owned(1, 2, 3)
    o.owner = c
    c.Red = o
    probe = weakref.ref(o)
    del c, o
    gc.collect()
    assert probe() is None


def test_subclass():
    class Mine(Colors):
        pass
    m = Mine()
    assert channels(m.Red) == (255, 0, 0, 255)
    m.extra = 1  # the subclass has a dictionary of its own
    refs = gc.get_referents(m)
    assert all(any(r is getattr(m, n) for r in refs) for n in NAMES)


# A failing Color call, staged in a fresh interpreter by putting a Python
# subclass of Color in its module before the palette binds it.
FLAKY = textwrap.dedent("""
    import tarvex.color.color as cmod
    calls = [0]
    fail_at = [FAIL_AT]
    class Flaky(cmod.Color):
        __slots__ = ()
        __pyx_vtable__ = cmod.Color.__dict__["__pyx_vtable__"]
        def __new__(cls, *args):
            calls[0] += 1
            if calls[0] == fail_at[0]:
                raise ArithmeticError("no colour %d" % calls[0])
            return super().__new__(cls, *args)
    cmod.Color = Flaky
""")


def run_python(code):
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=os.environ,
                          timeout=120)


def test_import_fails_when_a_colour_cannot_be_made():
    code = FLAKY.replace("FAIL_AT", "5") + textwrap.dedent("""
        import traceback
        try:
            import tarvex.colors.colors
        except ArithmeticError as e:
            names = [f.name for f in traceback.extract_tb(e.__traceback__)]
            print(str(e), names[-3:])
    """)
    r = run_python(code)
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == (
        "no colour 5 ['init tarvex.colors.colors', 'tarvex.colors.colors.Colors.__init__', '__new__']")


def test_failed_init_keeps_later_names():
    code = FLAKY.replace("FAIL_AT", "0") + textwrap.dedent("""
        from tarvex.colors.colors import colors, Colors
        names = [k for k, v in Colors.__dict__.items() if type(v).__name__ == "getset_descriptor"]
        before = [getattr(colors, n) for n in names]
        calls[0] = 0
        fail_at[0] = 10
        try:
            colors.__init__()
        except ArithmeticError as e:
            print(e)
        after = [getattr(colors, n) for n in names]
        print(sum(a is not b for a, b in zip(before, after)), all(a is b for a, b in zip(before[9:], after[9:])))
        print(type(colors.Red).__name__)
        calls[0] = 0
        try:
            Colors()
        except ArithmeticError as e:
            print(e)
    """)
    r = run_python(code)
    assert r.returncode == 0, r.stderr
    assert r.stdout.split("\n")[:4] == ["no colour 10", "9 True", "Flaky", "no colour 10"]
