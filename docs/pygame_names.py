"""The names a pygame or PyGLM user reaches for, with tarvex's equivalent.

Each row carries one call through the peer and one through tarvex that must
give the same result (tests/test_docs.py runs both); the reference's
migration page is this table. In the calls, `P` is pygame.math's vector or
pygame.Rect's module (`pygame`), `glm` is PyGLM, and `Vector2`, `Vector3`,
`Rect` are tarvex's.
"""
from typing import NamedTuple


class Row(NamedTuple):
    peer: str          # "pygame" or "PyGLM"
    peer_name: str     # the name as its users write it
    tarvex_name: str   # tarvex's equivalent
    note: str          # what differs, in a few words
    peer_call: str     # an expression through the peer ...
    tarvex_call: str   # ... and the same through tarvex


PV2 = "pygame.math.Vector2"
PV3 = "pygame.math.Vector3"
R = "pygame.Rect(0, 0, 10, 10)"
T = "Rect(0, 0, 10, 10)"


def pv(name, tv, note, args="", targs=None, peer=PV2, tarvex="Vector2", value="(3, 4)"):
    """A vector method row: the same call on (3, 4) in both."""
    targs = args if targs is None else targs
    return Row("pygame", f"Vector{peer[-1]}.{name}", f"Vector{peer[-1]}.{tv}", note,
               f"{peer}{value}.{name}{'(' + args + ')' if args is not None else ''}",
               f"{tarvex}{value}.{tv}{'(' + targs + ')' if targs is not None else ''}")


ROWS = [
    pv("normalize", "get_normalized", "", ""),
    Row("pygame", "Vector2.normalize_ip", "Vector2.to_normalized", "returns the vector",
        f"(lambda v: (v.normalize_ip(), v)[1])({PV2}(3, 4))", "Vector2(3, 4).to_normalized()"),
    pv("is_normalized", "is_normalized", "", "", value="(0.6, 0.8)"),
    Row("pygame", "Vector2.length", "Vector2.length", "a property", f"{PV2}(3, 4).length()",
        "Vector2(3, 4).length"),
    Row("pygame", "Vector2.magnitude", "Vector2.length", "a property", f"{PV2}(3, 4).magnitude()",
        "Vector2(3, 4).length"),
    Row("pygame", "Vector2.length_squared", "Vector2.length_squared", "a property", f"{PV2}(3, 4).length_squared()",
        "Vector2(3, 4).length_squared"),
    Row("pygame", "Vector2.magnitude_squared", "Vector2.length_squared", "a property", f"{PV2}(3, 4).magnitude_squared()",
        "Vector2(3, 4).length_squared"),
    pv("distance_to", "distance_to", "a vector argument only",
       "(0, 8)", "Vector2(0, 8)"),
    pv("distance_squared_to", "distance_squared_to", "a vector argument only",
       "(0, 8)", "Vector2(0, 8)"),
    pv("dot", "dot", "a vector argument only", "(1, 2)", "Vector2(1, 2)"),
    pv("cross", "cross", "a vector argument only", "(1, 2)", "Vector2(1, 2)"),
    pv("angle_to", "angle_to", "a vector argument only", "(-4, 3)", "Vector2(-4, 3)"),
    pv("rotate", "get_rotated", "degrees", "30"),
    Row("pygame", "Vector2.rotate_ip", "Vector2.to_rotated", "returns the vector",
        f"(lambda v: (v.rotate_ip(30), v)[1])({PV2}(3, 4))", "Vector2(3, 4).to_rotated(30)"),
    pv("rotate_rad", "get_rotated_rad", "radians", "0.5"),
    pv("lerp", "get_lerped", "", "(13, -6), 0.25", "Vector2(13, -6), 0.25"),
    pv("slerp", "get_slerped", "", "(-4, 3), 0.5", "Vector2(-4, 3), 0.5"),
    pv("move_towards", "get_moved_towards", "", "(13, 4), 2", "Vector2(13, 4), 2"),
    pv("reflect", "get_reflected", "", "(0, 1)", "Vector2(0, 1)"),
    pv("project", "get_projected", "", "(1, 0)", "Vector2(1, 0)"),
    pv("clamp_magnitude", "get_clamped_magnitude", "(max, min): the other order",
       "2, 4", "4, 2"),
    Row("pygame", "Vector2.clamp_magnitude_ip", "Vector2.to_clamped_magnitude",
        "(max, min): the other order", f"(lambda v: (v.clamp_magnitude_ip(1, 2), v)[1])({PV2}(3, 4))",
        "Vector2(3, 4).to_clamped_magnitude(2, 1)"),
    Row("pygame", "Vector2.scale_to_length", "Vector2.to_scaled_to_length",
        "returns the vector; get_scaled_to_length makes a new one",
        f"(lambda v: (v.scale_to_length(10), v)[1])({PV2}(3, 4))",
        "Vector2(3, 4).to_scaled_to_length(10)"),
    pv("as_polar", "get_polar", "", ""),
    Row("pygame", "Vector2.from_polar", "Vector2.from_polar", "two arguments, not a tuple",
        f"{PV2}.from_polar((5, 30))", "Vector2.from_polar(5, 30)"),
    Row("pygame", "Vector2.update", "Vector2.update", "",
        f"(lambda v: (v.update(7, 8), v)[1])({PV2}(3, 4))",
        "(lambda v: (v.update(7, 8), v)[1])(Vector2(3, 4))"),
    pv("copy", "copy", "", ""),
    Row("pygame", "Vector2.elementwise", "Vector2 * Vector2", "per component already",
        f"{PV2}(3, 4).elementwise() * {PV2}(2, 5)", "Vector2(3, 4) * Vector2(2, 5)"),
    Row("pygame", "round(v)", "Vector2.get_round", "halves away from zero",
        f"round({PV2}(0.4, 2.6))", "Vector2(0.4, 2.6).get_round()"),
    Row("pygame", "Vector3.rotate", "Vector3.get_rotated", "the axis a Vector3",
        f"{PV3}(1, 2, 3).rotate(30, (0, 0, 1))",
        "Vector3(1, 2, 3).get_rotated(30, Vector3(0, 0, 1))"),
    pv("rotate_x", "get_rotated_x", "", "90", peer=PV3, tarvex="Vector3", value="(1, 2, 3)"),
    pv("as_spherical", "get_spherical", "", "", peer=PV3, tarvex="Vector3", value="(1, 2, 3)"),
    pv("cross", "cross", "a vector argument only", "(4, 5, 6)", "Vector3(4, 5, 6)",
       peer=PV3, tarvex="Vector3", value="(1, 2, 3)"),
    Row("pygame", "Rect.colliderect", "Rect.collide_rect", "",
        f"{R}.colliderect(pygame.Rect(5, 5, 10, 10))", f"{T}.collide_rect(Rect(5, 5, 10, 10))"),
    Row("pygame", "Rect.collidepoint", "Rect.collide_point", "closed on all four edges",
        f"{R}.collidepoint(5, 5)", f"{T}.collide_point((5, 5))"),
    Row("pygame", "Rect.collidelist", "Rect.collide_list", "",
        f"{R}.collidelist([(20, 0, 5, 5), (5, 5, 2, 2)])",
        f"{T}.collide_list([(20, 0, 5, 5), (5, 5, 2, 2)])"),
    Row("pygame", "Rect.collidelistall", "Rect.collide_list_all", "",
        f"{R}.collidelistall([(5, 5, 2, 2), (20, 0, 5, 5), (1, 1, 1, 1)])",
        f"{T}.collide_list_all([(5, 5, 2, 2), (20, 0, 5, 5), (1, 1, 1, 1)])"),
    Row("pygame", "Rect.contains", "Rect.contains", "",
        f"{R}.contains(pygame.Rect(2, 2, 3, 3))", f"{T}.contains(Rect(2, 2, 3, 3))"),
    Row("pygame", "Rect.move", "Rect.get_moved", "",
        f"{R}.move(3, 4)", f"{T}.get_moved(3, 4)"),
    Row("pygame", "Rect.move_ip", "Rect.to_moved", "returns the rectangle",
        f"(lambda r: (r.move_ip(3, 4), r)[1])({R})", f"{T}.to_moved(3, 4)"),
    Row("pygame", "Rect.inflate", "Rect.get_inflated", "",
        f"{R}.inflate(4, 2)", f"{T}.get_inflated(4, 2)"),
    Row("pygame", "Rect.inflate_ip", "Rect.to_inflated", "returns the rectangle",
        f"(lambda r: (r.inflate_ip(4, 2), r)[1])({R})", f"{T}.to_inflated(4, 2)"),
    Row("pygame", "Rect.scale_by", "Rect.get_scaled", "",
        f"{R}.scale_by(2, 3)", f"{T}.get_scaled(2, 3)"),
    Row("pygame", "Rect.clamp", "Rect.get_clamped", "",
        "pygame.Rect(15, 15, 4, 4).clamp(pygame.Rect(0, 0, 10, 10))",
        "Rect(15, 15, 4, 4).get_clamped(Rect(0, 0, 10, 10))"),
    Row("pygame", "Rect.clip", "Rect.get_clipped", "",
        f"{R}.clip(pygame.Rect(5, 5, 10, 10))", f"{T}.get_clipped(Rect(5, 5, 10, 10))"),
    Row("pygame", "Rect.union", "Rect.get_union", "",
        f"{R}.union(pygame.Rect(5, 5, 10, 10))", f"{T}.get_union(Rect(5, 5, 10, 10))"),
    Row("pygame", "Rect.unionall", "Rect.get_union_all", "",
        f"{R}.unionall([pygame.Rect(5, 5, 10, 10), pygame.Rect(-2, 0, 1, 1)])",
        f"{T}.get_union_all([Rect(5, 5, 10, 10), Rect(-2, 0, 1, 1)])"),
    Row("pygame", "Rect.fit", "Rect.get_fitted", "",
        "pygame.Rect(0, 0, 20, 10).fit(pygame.Rect(0, 0, 10, 11))",
        "Rect(0, 0, 20, 10).get_fitted(Rect(0, 0, 10, 11))"),
    Row("pygame", "Rect.normalize", "Rect.to_normalized", "returns the rectangle",
        "(lambda r: (r.normalize(), r)[1])(pygame.Rect(10, 10, -4, -3))",
        "Rect(10, 10, -4, -3).to_normalized()"),
    Row("pygame", "Rect.clipline", "Rect.clip_line", "",
        f"{R}.clipline(-5, 5, 8, 5)", f"{T}.clip_line(-5, 5, 8, 5)"),
    Row("pygame", "Rect.copy", "Rect.copy", "", f"{R}.copy()", f"{T}.copy()"),
    Row("pygame", "Rect.center", "Rect.center", "a Vector2", f"{R}.center", f"{T}.center"),
    Row("pygame", "Rect.topleft", "Rect.topleft", "a Vector2", f"{R}.topleft", f"{T}.topleft"),
    Row("pygame", "Rect.size", "Rect.size", "a Vector2", f"{R}.size", f"{T}.size"),
    Row("PyGLM", "glm.normalize", "Vector2.get_normalized", "",
        "glm.normalize(glm.vec2(3, 4))", "Vector2(3, 4).get_normalized()"),
    Row("PyGLM", "glm.length", "Vector2.length", "a property",
        "glm.length(glm.vec2(3, 4))", "Vector2(3, 4).length"),
    Row("PyGLM", "glm.length2", "Vector2.length_squared", "a property",
        "glm.length2(glm.vec2(3, 4))", "Vector2(3, 4).length_squared"),
    Row("PyGLM", "glm.distance", "Vector2.distance_to", "",
        "glm.distance(glm.vec2(3, 4), glm.vec2(0, 8))", "Vector2(3, 4).distance_to(Vector2(0, 8))"),
    Row("PyGLM", "glm.distance2", "Vector2.distance_squared_to", "",
        "glm.distance2(glm.vec2(3, 4), glm.vec2(0, 8))",
        "Vector2(3, 4).distance_squared_to(Vector2(0, 8))"),
    Row("PyGLM", "glm.dot", "Vector2.dot", "",
        "glm.dot(glm.vec2(3, 4), glm.vec2(1, 2))", "Vector2(3, 4).dot(Vector2(1, 2))"),
    Row("PyGLM", "glm.cross", "Vector3.cross", "",
        "glm.cross(glm.vec3(1, 2, 3), glm.vec3(4, 5, 6))",
        "Vector3(1, 2, 3).cross(Vector3(4, 5, 6))"),
    Row("PyGLM", "glm.mix", "Vector2.get_lerped", "",
        "glm.mix(glm.vec2(3, 4), glm.vec2(13, -6), 0.25)",
        "Vector2(3, 4).get_lerped(Vector2(13, -6), 0.25)"),
    Row("PyGLM", "glm.reflect", "Vector2.get_reflected", "",
        "glm.reflect(glm.vec2(3, -4), glm.vec2(0, 1))",
        "Vector2(3, -4).get_reflected(Vector2(0, 1))"),
    Row("PyGLM", "glm.clamp", "Vector2.get_clamped", "",
        "glm.clamp(glm.vec2(-3, 14), 0, 10)", "Vector2(-3, 14).get_clamped(0, 10)"),
    Row("PyGLM", "glm.min", "Vector2.get_min", "",
        "glm.min(glm.vec2(3, 4), glm.vec2(5, 1))", "Vector2(3, 4).get_min(Vector2(5, 1))"),
    Row("PyGLM", "glm.max", "Vector2.get_max", "",
        "glm.max(glm.vec2(3, 4), glm.vec2(5, 1))", "Vector2(3, 4).get_max(Vector2(5, 1))"),
    Row("PyGLM", "glm.abs", "Vector2.get_abs", "",
        "glm.abs(glm.vec2(-3, 4))", "Vector2(-3, 4).get_abs()"),
    Row("PyGLM", "glm.rotate", "Vector2.get_rotated_rad", "radians",
        "glm.rotate(glm.vec2(3, 4), 0.5)", "Vector2(3, 4).get_rotated_rad(0.5)"),
    Row("PyGLM", "vec2 * vec2", "Vector2 * Vector2", "per component",
        "glm.vec2(3, 4) * glm.vec2(2, 5)", "Vector2(3, 4) * Vector2(2, 5)"),
]
