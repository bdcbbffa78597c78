"""The benchmark cases: one Case per table row.

How to add a case
-----------------
Append one line to CASES (a new `group` starts a new section of the table):

    Case("Vector2 rotate", "v.rotate(30.0)", "v.rotate(30.0)",
         pygame="pv.rotate(30.0)", glm="glm_rotate(gv, 0.5236)",
         setup="glm_rotate = glm.rotate", goal={"pygame": 0.6}),

- the third argument is the tarvex statement; `py`, `pygame` and `glm` are
  the references it is compared with (plain Python, pygame, PyGLM), each
  optional; `extra=[(label, stmt), ...]` adds any other reference;
- statements see the names made by SETUP below (v, w, pv, pw, gv, gw, r, pr,
  rects250, ...), plus whatever the case's own `setup=` code makes (run
  once, before timing, in a copy of that namespace);
- `goal={"pygame": 0.6}` asks for tarvex's time to be at most 0.6x
  pygame's; the table marks each goal met or not met;
- a side may also be a C loop from _tarvex_bench: C("func", "args");
- bind module functions to plain names (glm_rotate above, glm_length in
  SETUP): every name a statement uses is a local of its timing loop, so no
  side pays for an attribute lookup that the others do not;
- a statement that changes its operands in place runs thousands of times
  per batch: keep it bounded (rotate by a fixed angle, add then subtract).

A reference whose statement fails (pygame or PyGLM missing, say) is left out
with a warning; a tarvex statement that fails stops the run.
"""
import gc
import sys
import tracemalloc

from bench_timing import C

KINDS = {"py": "Python", "pygame": "pygame", "glm": "PyGLM"}


class Case:
    def __init__(self, group, label, tarvex, py=None, pygame=None, glm=None, extra=(),
                 setup="", goal=None):
        self.group, self.label, self.tarvex, self.setup = group, label, tarvex, setup
        self.refs = [(key, KINDS[key], code) for key, code in
                     (("py", py), ("pygame", pygame), ("glm", glm)) if code is not None]
        self.refs += [(label, label, code) for label, code in extra]
        self.goal = dict(goal or {})
        unknown = set(self.goal) - {key for key, _, _ in self.refs}
        if unknown:
            raise ValueError(f"{label}: goal for a missing reference {sorted(unknown)}")

    @property
    def id(self):
        return f"{self.group}: {self.label}"

    def namespace(self, base):
        ns = dict(base)
        if self.setup:
            exec(self.setup, ns)
        return ns


def ref_label(kind, code):
    return code.label if isinstance(code, C) else f"{kind}: {code}"


# Made once per process; every case starts from a copy.
SETUP = """
from tarvex.vector2.vector2 import Vector2
from tarvex.vector3.vector3 import Vector3
from tarvex.vector4.vector4 import Vector4
from tarvex.color.color import Color
from tarvex.image.image import Image
from tarvex.rect.rect import Rect
from tarvex.vector2_array.vector2_array import Vector2Array
from tarvex.vector3_array.vector3_array import Vector3Array
from bench_kernels import *
from tarvex.rect_array.rect_array import RectArray
try:
    import numpy as np
    np_asarray = np.asarray
    def np_boxes(b):
        return np.array(b, dtype=np.float32)
except ImportError:
    np = np_asarray = np_boxes = None
try:
    import _tarvex_bench as bench
except ImportError:
    bench = None
try:
    import pygame
    from pygame.math import Vector2 as PgVector2, Vector3 as PgVector3
    from pygame import Rect as PgRect
except ImportError:
    PgVector2 = PgVector3 = PgRect = None
try:
    import glm
    GlmVec2, GlmVec3, GlmVec4 = glm.vec2, glm.vec3, glm.vec4
    glm_length, glm_normalize, glm_dot, glm_cross = glm.length, glm.normalize, glm.dot, glm.cross
except ImportError:
    GlmVec2 = GlmVec3 = GlmVec4 = None

x, y, z, t, xy = 1.5, 2.5, 3.5, 4.5, (1.5, 2.5)
c1, c2 = complex(1.5, 2.5), complex(3.5, 4.5)
v = Vector2(1.5, 2.5); w = Vector2(3.5, 4.5)
v3 = Vector3(1.5, 2.5, 3.5); w3 = Vector3(4.5, 5.5, 6.5)
v4 = Vector4(1.5, 2.5, 3.5, 4.5); w4 = Vector4(5.5, 6.5, 7.5, 8.5)
r = Rect(0, 0, 10, 10); r2 = Rect(5, 5, 10, 10); p = Vector2(5, 5)
rects250 = [Rect(*b) for b in box_data(250)]
if PgVector2 is not None:
    pv = PgVector2(1.5, 2.5); pw = PgVector2(3.5, 4.5)
    pv3 = PgVector3(1.5, 2.5, 3.5); pw3 = PgVector3(4.5, 5.5, 6.5)
    pr = PgRect(0, 0, 10, 10); pr2 = PgRect(5, 5, 10, 10)
    prects250 = [PgRect(*b) for b in box_data(250)]
if GlmVec2 is not None:
    gv = GlmVec2(1.5, 2.5); gw = GlmVec2(3.5, 4.5)
    gv3 = GlmVec3(1.5, 2.5, 3.5); gw3 = GlmVec3(4.5, 5.5, 6.5)
    gv4 = GlmVec4(1.5, 2.5, 3.5, 4.5); gw4 = GlmVec4(5.5, 6.5, 7.5, 8.5)
col = Color(10, 20, 30, 255)
img = Image.generate_with_color(256, 256, col)
n_bytes = 256 * 256 * 4
"""


def base_namespace():
    ns = {}
    exec(SETUP, ns)
    return ns


# The names of the "Rect (new)" cases: m and pm change in place.
RECT_NEW_SETUP = """
m = Rect(1, 2, 10, 10); big = Rect(-100, -100, 400, 400); neg = Rect(10, 10, -5, -5)
far = Rect(-500, -500, 10, 10); ten = (10, 10); p1, p2 = (-5, 5), (15, 8)
rects4 = [Rect(5, 5, 10, 10), Rect(-3, 2, 4, 4), Rect(8, -6, 3, 30), Rect(0, 0, 1, 1)]
class Sprite:
    __slots__ = ("rect",)
    def __init__(self, rect):
        self.rect = rect
def rect_of(sprite):
    return sprite.rect
sprites = [Sprite(b) for b in rects250]
boxes250 = {b: i for i, b in enumerate(box_data(250))}
rect_values = dict(enumerate(rects250))
if PgRect is not None:
    pm = PgRect(1, 2, 10, 10); pbig = PgRect(-100, -100, 400, 400); pneg = PgRect(10, 10, -5, -5)
    pfar = PgRect(-500, -500, 10, 10)
    prects4 = [PgRect(5, 5, 10, 10), PgRect(-3, 2, 4, 4), PgRect(8, -6, 3, 30), PgRect(0, 0, 1, 1)]
    psprites = [Sprite(b) for b in prects250]
    prect_values = dict(enumerate(prects250))
"""

PARSE_FF = C("argparse_ff", "(1.5, 2.5)", label='PyArg_ParseTuple(args, "(ff)")')

CASES = [
    Case("Vector2", "Vector2(x, y)", "Vector2(x, y)", py="slice(x, y)", pygame="PgVector2(x, y)", glm="GlmVec2(x, y)"),
    Case("Vector2", "Vector2((x, y))", "Vector2(xy)", py="slice(x, y)", pygame="PgVector2(xy)", glm="GlmVec2(xy)"),
    Case("Vector2", "Vector2.from_xy(x, y)", "Vector2.from_xy(x, y)", py="slice(x, y)", pygame="PgVector2(x, y)"),
    Case("Vector2", "v + w", "v + w", py="c1 + c2", pygame="pv + pw", glm="gv + gw"),
    Case("Vector2", "v * 2.0", "v * 2.0", py="c1 * 2.0", pygame="pv * 2.0", glm="gv * 2.0"),
    Case("Vector2", "v // 2", "v // 2", pygame="pv // 2"),
    Case("Vector2", "-v", "-v", py="-c1", pygame="-pv", glm="-gv"),
    Case("Vector2", "v.x", "v.x", py="c1.real", pygame="pv.x", glm="gv.x"),
    Case("Vector2", "v.length", "v.length", py="abs(c1)", pygame="pv.length()", glm="glm_length(gv)"),
    Case("Vector2", "v.get_normalized()", "v.get_normalized()", pygame="pv.normalize()", glm="glm_normalize(gv)"),
    Case("Vector2", "v.dot(w)", "v.dot(w)", pygame="pv.dot(pw)", glm="glm_dot(gv, gw)"),
    Case("Vector2", "v.xy", "v.xy", pygame="pv.xy", glm="gv.xy"),
    Case("Vector2", "v == w", "v == w", py="c1 == c2", pygame="pv == pw", glm="gv == gw"),
    Case("Vector2", "hash(v)", "hash(v)", py="hash(c1)"),

    Case("Vector3", "Vector3(x, y, z)", "Vector3(x, y, z)", py="slice(x, y, z)", pygame="PgVector3(x, y, z)", glm="GlmVec3(x, y, z)"),
    Case("Vector3", "v3 + w3", "v3 + w3", py="c1 + c2", pygame="pv3 + pw3", glm="gv3 + gw3"),
    Case("Vector3", "v3 * 2.0", "v3 * 2.0", py="c1 * 2.0", pygame="pv3 * 2.0", glm="gv3 * 2.0"),
    Case("Vector3", "v3.x", "v3.x", py="c1.real", pygame="pv3.x", glm="gv3.x"),
    Case("Vector3", "v3.length", "v3.length", pygame="pv3.length()", glm="glm_length(gv3)"),
    Case("Vector3", "v3.cross(w3)", "v3.cross(w3)", pygame="pv3.cross(pw3)", glm="glm_cross(gv3, gw3)"),

    Case("Vector4", "Vector4(x, y, z, t)", "Vector4(x, y, z, t)", py="slice(x, y, z)", glm="GlmVec4(x, y, z, t)"),
    Case("Vector4", "v4 + w4", "v4 + w4", py="c1 + c2", glm="gv4 + gw4"),
    Case("Vector4", "v4 * 2.0", "v4 * 2.0", py="c1 * 2.0", glm="gv4 * 2.0"),
    Case("Vector4", "v4.x", "v4.x", py="c1.real", glm="gv4.x"),
    Case("Vector4", "v4.length", "v4.length", py="abs(c1)", glm="glm_length(gv4)"),
    Case("Vector4", "v4.wzyx", "v4.wzyx", glm="gv4.wzyx"),

    # The geometry operations, each against pygame's call for the same work.
    Case("Vector2 (new)", "v.get_rotated(30.0)", "v.get_rotated(30.0)", pygame="pv.rotate(30.0)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.to_rotated(90.0)", "v.to_rotated(90.0)", pygame="pv.rotate_ip(90.0)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.get_rotated_rad(0.5)", "v.get_rotated_rad(0.5)", pygame="pv.rotate_rad(0.5)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.angle_to(w)", "v.angle_to(w)", pygame="pv.angle_to(pw)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.get_polar()", "v.get_polar()", pygame="pv.as_polar()", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "Vector2.from_polar(2.0, 30.0)", "from_polar(2.0, 30.0)", pygame="pg_from_polar((2.0, 30.0))",
         setup="from_polar = Vector2.from_polar\nif PgVector2 is not None: pg_from_polar = PgVector2.from_polar",
         goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.get_lerped(w, 0.5)", "v.get_lerped(w, 0.5)", pygame="pv.lerp(pw, 0.5)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.get_slerped(w, 0.5)", "v.get_slerped(w, 0.5)", pygame="pv.slerp(pw, 0.5)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.get_moved_towards(w, 1.0)", "v.get_moved_towards(w, 1.0)", pygame="pv.move_towards(pw, 1.0)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.get_reflected(w)", "v.get_reflected(w)", pygame="pv.reflect(pw)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.get_projected(w)", "v.get_projected(w)", pygame="pv.project(pw)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.get_clamped_magnitude(2.0)", "v.get_clamped_magnitude(2.0)", pygame="pv.clamp_magnitude(2.0)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.to_scaled_to_length(2.0)", "v.to_scaled_to_length(2.0)", pygame="pv.scale_to_length(2.0)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.length_squared", "v.length_squared", pygame="pv.length_squared()", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.cross(w)", "v.cross(w)", pygame="pv.cross(pw)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.is_normalized()", "v.is_normalized()", pygame="pv.is_normalized()", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.update(1.5, 2.5)", "v.update(1.5, 2.5)", pygame="pv.update(1.5, 2.5)", goal={"pygame": 0.6}),
    Case("Vector2 (new)", "v.get_clamped(0.0, 2.0)", "v.get_clamped(0.0, 2.0)",
         pygame="PgVector2(min(max(pv.x, 0.0), 2.0), min(max(pv.y, 0.0), 2.0))", goal={"pygame": 0.6}),
    Case("Vector3 (new)", "v3.get_rotated(30.0, w3)", "v3.get_rotated(30.0, w3)", pygame="pv3.rotate(30.0, pw3)", goal={"pygame": 0.6}),
    Case("Vector3 (new)", "v3.get_rotated_x(30.0)", "v3.get_rotated_x(30.0)", pygame="pv3.rotate_x(30.0)", goal={"pygame": 0.6}),
    Case("Vector3 (new)", "v3.angle_to(w3)", "v3.angle_to(w3)", pygame="pv3.angle_to(pw3)", goal={"pygame": 0.6}),
    Case("Vector3 (new)", "v3.get_spherical()", "v3.get_spherical()", pygame="pv3.as_spherical()", goal={"pygame": 0.6}),
    Case("Vector3 (new)", "v3.get_slerped(w3, 0.5)", "v3.get_slerped(w3, 0.5)", pygame="pv3.slerp(pw3, 0.5)", goal={"pygame": 0.6}),
    Case("Vector3 (new)", "v3.get_lerped(w3, 0.5)", "v3.get_lerped(w3, 0.5)", pygame="pv3.lerp(pw3, 0.5)", goal={"pygame": 0.6}),
    Case("Vector3 (new)", "v3.get_reflected(w3)", "v3.get_reflected(w3)", pygame="pv3.reflect(pw3)", goal={"pygame": 0.6}),

    Case("Rect", "Rect(0, 0, 10, 10)", "Rect(0, 0, 10, 10)", pygame="PgRect(0, 0, 10, 10)"),
    Case("Rect", "Rect((0, 0), (10, 10))", "Rect((0, 0), (10, 10))", pygame="PgRect((0, 0), (10, 10))"),
    Case("Rect", "r.collide_rect(r2)", "r.collide_rect(r2)", pygame="pr.colliderect(pr2)"),
    Case("Rect", "r.collide_rect_rect(r2)", "r.collide_rect_rect(r2)", pygame="pr.colliderect(pr2)"),
    Case("Rect", "r.collide_point((5, 5))", "r.collide_point((5, 5))", pygame="pr.collidepoint((5, 5))"),
    Case("Rect", "r.collide_point(v)", "r.collide_point(p)", pygame="pr.collidepoint((5, 5))"),
    Case("Rect", "r.center", "r.center", pygame="pr.center"),
    # A query of one rect against a list; the loop it replaces is the
    # Python reference.
    Case("Rect", "hits of r among 250 Rect", "r.collide_list_all(rects250)",
         py="[i for i, b in enumerate(rects250) if r.collide_rect(b)]",
         pygame="pr.collidelistall(prects250)", goal={"pygame": 0.7}),

    # The operations, properties and batch queries beside the above, each
    # against pygame's call for the same thing. In-place statements undo
    # themselves (or settle after their first call) so that they stay
    # bounded; both sides run the same pair.
    *[Case("Rect (new)", label, tarvex, pygame=pg, setup=RECT_NEW_SETUP, goal={"pygame": 0.6})
      for label, tarvex, pg in [
          ("r.get_moved(1, 2)", "r.get_moved(1, 2)", "pr.move(1, 2)"),
          ("m.to_moved(1, 2) and back", "m.to_moved(1, 2); m.to_moved(-1, -2)",
           "pm.move_ip(1, 2); pm.move_ip(-1, -2)"),
          ("r.get_inflated(2, 2)", "r.get_inflated(2, 2)", "pr.inflate(2, 2)"),
          ("m.to_inflated(2, 2) and back", "m.to_inflated(2, 2); m.to_inflated(-2, -2)",
           "pm.inflate_ip(2, 2); pm.inflate_ip(-2, -2)"),
          ("r.get_scaled(2)", "r.get_scaled(2)", "pr.scale_by(2)"),
          ("m.to_scaled(2) and back", "m.to_scaled(2); m.to_scaled(0.5)",
           "pm.scale_by_ip(2); pm.scale_by_ip(0.5)"),
          ("r.get_clamped(r2)", "r.get_clamped(r2)", "pr.clamp(pr2)"),
          ("m.to_clamped(big)", "m.to_clamped(big)", "pm.clamp_ip(pbig)"),
          ("r.get_clipped(r2)", "r.get_clipped(r2)", "pr.clip(pr2)"),
          ("m.to_clipped(big)", "m.to_clipped(big)", "pr.clip(pbig)"),
          ("r.get_union(r2)", "r.get_union(r2)", "pr.union(pr2)"),
          ("m.to_union(r2)", "m.to_union(r2)", "pm.union_ip(pr2)"),
          ("r.get_union_all(4 Rect)", "r.get_union_all(rects4)", "pr.unionall(prects4)"),
          ("m.to_union_all(4 Rect)", "m.to_union_all(rects4)", "pm.unionall_ip(prects4)"),
          ("r.get_fitted(r2)", "r.get_fitted(r2)", "pr.fit(pr2)"),
          ("m.to_fitted(big)", "m.to_fitted(big)", "pr.fit(pbig)"),
          ("neg.get_normalized()", "neg.get_normalized()", "pneg.copy().normalize()"),
          ("m.to_normalized()", "m.to_normalized()", "pm.normalize()"),
          ("r.copy()", "r.copy()", "pr.copy()"),
          ("r.contains(r2)", "r.contains(r2)", "pr.contains(pr2)"),
          ("r.clip_line(x1, y1, x2, y2)", "r.clip_line(-5, 5, 15, 8)", "pr.clipline(-5, 5, 15, 8)"),
          ("r.clip_line((x1, y1), (x2, y2))", "r.clip_line(p1, p2)", "pr.clipline(p1, p2)"),
          ("r.topleft", "r.topleft", "pr.topleft"),
          ("r.midbottom", "r.midbottom", "pr.midbottom"),
          ("r.size", "r.size", "pr.size"),
          ("m.topleft = (1, 2)", "m.topleft = p1", "pm.topleft = p1"),
          ("m.size = (10, 10)", "m.size = ten", "pm.size = ten"),
          ("r.collide_list(250 Rect), no hit", "far.collide_list(rects250)",
           "pfar.collidelist(prects250)"),
          ("r.collide_objects_all(250 sprites)", "r.collide_objects_all(sprites)",
           "pr.collideobjectsall(psprites)"),
          ("r.collide_objects(250 sprites, key)", "far.collide_objects(sprites, key=rect_of)",
           "pfar.collideobjects(psprites, key=rect_of)"),
          ("r.collide_dict_all(250 tuple keys)", "r.collide_dict_all(boxes250)",
           "pr.collidedictall(boxes250)"),
          ("r.collide_dict(250 Rect values)", "far.collide_dict(rect_values, use_values=True)",
           "pfar.collidedict(prect_values, 1)"),
      ]],

    Case("Image", "img.data_view", "img.data_view", py="memoryview(bytearray(n_bytes))"),
    Case("Image", "Image.generate_with_color(256, 256, c)", "Image.generate_with_color(256, 256, col)",
         extra=[("raylib", C("gen_image_color", "256, 256", label="raylib GenImageColor + UnloadImage"))]),

    Case("C level", "Vector2 table new", C("vector2_new"), extra=[("C", PARSE_FF)]),
    Case("C level", "parse_vector2_like(tuple)", C("parse_vector2", "(1.5, 2.5)"), extra=[("C", PARSE_FF)]),
    Case("C level", "parse_vector2_like(Vector2)", C("parse_vector2", "Vector2(1.5, 2.5)"), extra=[("C", PARSE_FF)]),
    Case("C level", "parse_vector2_like(list)", C("parse_vector2", "[1.5, 2.5]"), extra=[("C", PARSE_FF)]),
    Case("C level", "Rect table collide_rect_rect", C("rect_collide_rect_rect", "Rect(0, 0, 10, 10), Rect(5, 5, 10, 10)")),

    # Game-loop kernels (bench_kernels.py); one call is one whole step.
    Case("Game loop", "particle step, 4,000 bodies", "particles_tarvex(st)",
         py="particles_tuples(sl)", pygame="particles_pygame(sp)", glm="particles_glm(sg)",
         setup="data = particle_data(4000)\n"
               "st, sl = vector_state(Vector2, data), tuple_state(data)\n"
               "sp, sg = vector_state(PgVector2, data), vector_state(GlmVec2, data)",
         goal={"pygame": 0.5, "glm": 0.5}),
    # broadphase_tarvex runs collide_list_all per box, as broadphase_pygame
    # runs collidelistall; the loop over collide_rect is a reference.
    Case("Game loop", "all-pairs broadphase, 250 boxes", "broadphase_tarvex(rects250)",
         py="broadphase_tuples(boxes)", pygame="broadphase_pygame(prects250)",
         extra=[("collide_rect loop", "broadphase_tarvex_loop(rects250)")],
         setup="boxes = box_data(250)", goal={"pygame": 0.7}),
    # All overlapping pairs of one RectArray (a sweep in C) against the same
    # boxes in numpy, every pair tested at once.
    *[Case("Game loop", f"all pairs, {n:,} boxes: RectArray.collide_pairs",
           "broadphase_rect_array(ra)", extra=[("numpy", "broadphase_numpy(na)")],
           setup=f"boxes = box_data({n})\nra = RectArray(boxes)\nna = np_boxes(boxes)",
           goal={"numpy": goal})
      for n, goal in [(250, 0.2), (5000, 0.05)]],

    # Whole populations in one object: the same kernels with the packed
    # arrays against numpy float32 arrays (and the per-object loops).
    Case("Arrays", "particle frame, 4,000 bodies", "particles_arrays(sa)",
         pygame="particles_pygame(sp)",
         extra=[("numpy", "particles_numpy(sn)"), ("tarvex Vector2 loop", "particles_tarvex(st)")],
         setup="data = particle_data(4000)\n"
               "sa, sn = array_state(Vector2Array, Vector2, Rect, data), numpy_state(np, data)\n"
               "st, sp = vector_state(Vector2, data), vector_state(PgVector2, data)",
         goal={"numpy": 0.2, "pygame": 0.05}),
    Case("Arrays", "particle frame, 1,000,000 bodies", "particles_arrays(sa)",
         extra=[("numpy", "particles_numpy(sn)")],
         setup="data = particle_data(1_000_000)\n"
               "sa, sn = array_state(Vector2Array, Vector2, Rect, data), numpy_state(np, data)",
         goal={"numpy": 0.5}),
    Case("Arrays", "enemies toward the player, 10,000", "enemies_arrays(ea)",
         extra=[("numpy", "enemies_numpy(en)")],
         setup="ea = enemies_array_state(Vector2Array, Vector2, np, 10_000)\n"
               "en = enemies_numpy_state(np, 10_000)",
         goal={"numpy": 0.2}),
    Case("Arrays", "numpy.asarray(a), 1,000,000 elements", "np_asarray(big)",
         extra=[("10 elements", "np_asarray(small)")],
         setup="big, small = Vector2Array(1_000_000), Vector2Array(10)", goal={"10 elements": 1.2}),
    Case("Arrays", "a.get_length(out=buf), 4,000 elements", "a.get_length(out=buf)",
         extra=[("numpy", "np_sqrt((na * na).sum(axis=1))")],
         setup="a = Vector2Array(particle_data(4000)[i][:2] for i in range(4000))\n"
               "buf = a.get_length(); na = np_asarray(a).copy(); np_sqrt = np.sqrt"),
]

_ids = [case.id for case in CASES]
assert len(set(_ids)) == len(_ids), "two cases share a group and label"


def vector2_memory(count, refs=True):
    """Bytes per Vector2: traced over `count` objects, and sys.getsizeof;
    with refs, the same for a pair of floats and for pygame's Vector2."""
    from tarvex.vector2.vector2 import Vector2

    def traced(make):
        gc.collect()
        tracemalloc.start()
        objs = [make(i) for i in range(count)]
        size = tracemalloc.get_traced_memory()[0]
        tracemalloc.stop()
        del objs
        return size

    empty = traced(lambda i: None)
    out = {"traced": (traced(lambda i: Vector2(i, 2.0)) - empty) / count,
           "getsizeof": sys.getsizeof(Vector2(1, 2)), "traced refs": [], "getsizeof refs": []}
    if refs:
        out["traced refs"].append(("tuple (x, y)", (traced(lambda i: (float(i), 2.0)) - empty) / count))
        out["getsizeof refs"].append(("tuple (x, y)", sys.getsizeof((1.5, 2.5))))
        try:
            from pygame.math import Vector2 as PgVector2
        except ImportError:
            pass
        else:
            out["traced refs"].append(("pygame Vector2", (traced(lambda i: PgVector2(i, 2.0)) - empty) / count))
            out["getsizeof refs"].append(("pygame Vector2", sys.getsizeof(PgVector2(1, 2))))
        # The packed arrays: bytes per element of one array of `count`,
        # against a list of as many Vector2.
        from tarvex.vector2_array.vector2_array import Vector2Array
        from tarvex.vector3_array.vector3_array import Vector3Array

        def per_element(make):
            gc.collect()
            tracemalloc.start()
            obj = make()
            size = tracemalloc.get_traced_memory()[0]
            tracemalloc.stop()
            del obj
            return size / count

        listed = per_element(lambda: [Vector2(i, 2.0) for i in range(count)])
        out["arrays"] = [(name, per_element(lambda t=t: t(count)), listed, "list of Vector2")
                         for name, t in (("Vector2Array", Vector2Array), ("Vector3Array", Vector3Array))]
        from tarvex.rect.rect import Rect
        from tarvex.rect_array.rect_array import RectArray
        out["arrays"].append(("RectArray", per_element(lambda: RectArray(count)),
                              per_element(lambda: [Rect(i, 0, 1, 1) for i in range(count)]),
                              "list of Rect"))
    return out
