"""Game-loop kernels, each written the way a user of that library would.

particles_*: one update step of N bodies with a position and a velocity:
gravity added to the velocity, the position advanced by velocity * dt, and a
bounce test against the box [0, W] x [0, H] that points a velocity component
back inside when the body is outside on that axis.

broadphase_*: all-pairs overlap test over a list of boxes; returns the number
of overlapping pairs (i < j).

Every variant does the same work on the same data; verify() checks that they
agree before anything is timed.
"""
import random

try:
    import numpy as np
except ImportError:
    np = None

W, H = 800.0, 600.0
DT = 1.0 / 60.0
GRAVITY = (0.0, 900.0)


# -- particles --------------------------------------------------------------

def particle_data(n, seed=1234):
    """n initial (x, y, vx, vy), all exactly representable in 32 bits so
    the float and double variants start from the same state."""
    rng = random.Random(seed)

    def f(lo, hi):
        return round(rng.uniform(lo, hi) * 16) / 16

    return [(f(0, W), f(0, H), f(-300, 300), f(-300, 300)) for _ in range(n)]


def vector_state(vec, data):
    """State for the vector variants: (positions, velocities, gravity * dt);
    None without the vector type."""
    if vec is None:
        return None
    pos = [vec(x, y) for x, y, _, _ in data]
    vel = [vec(vx, vy) for _, _, vx, vy in data]
    return pos, vel, vec(*GRAVITY) * DT


def tuple_state(data):
    pos = [(x, y) for x, y, _, _ in data]
    vel = [(vx, vy) for _, _, vx, vy in data]
    return pos, vel, (GRAVITY[0] * DT, GRAVITY[1] * DT)


# One step of the vector variants; `{advance}` moves p by v * dt the way
# the library does it. Each variant is compiled from this text into a
# function of its own: the interpreter specialises a function's code for the
# types it meets, and one shared function would keep switching between them.
_PARTICLES = """
def particles(state, dt=DT, w=W, h=H):
    pos, vel, g = state
    for p, v in zip(pos, vel):
        v += g
        {advance}
        x = p.x
        if x < 0.0:
            v.x = abs(v.x)
        elif x > w:
            v.x = -abs(v.x)
        y = p.y
        if y < 0.0:
            v.y = abs(v.y)
        elif y > h:
            v.y = -abs(v.y)
"""


def _particles(advance):
    ns = {"DT": DT, "W": W, "H": H}
    exec(_PARTICLES.format(advance=advance), ns)
    return ns["particles"]


# tarvex moves p in one step, without the temporary vector of p += v * dt;
# pygame and PyGLM have no such call.
particles_tarvex = _particles("p.to_added(v, dt)")
particles_pygame = _particles("p += v * dt")
particles_glm = _particles("p += v * dt")


def particles_tuples(state, dt=DT, w=W, h=H):
    pos, vel, (gx, gy) = state
    for i, ((x, y), (vx, vy)) in enumerate(zip(pos, vel)):
        vx += gx
        vy += gy
        x += vx * dt
        y += vy * dt
        if x < 0.0:
            vx = abs(vx)
        elif x > w:
            vx = -abs(vx)
        if y < 0.0:
            vy = abs(vy)
        elif y > h:
            vy = -abs(vy)
        pos[i] = (x, y)
        vel[i] = (vx, vy)


# The same step over whole populations: tarvex's packed arrays, one call
# per stage, and numpy float32 arrays written the usual way.
def array_state(arr_type, vec, rect, data):
    """(positions, velocities, gravity * dt, box) for the array variant."""
    if arr_type is None:
        return None
    pos = arr_type([(x, y) for x, y, _, _ in data])
    vel = arr_type([(vx, vy) for _, _, vx, vy in data])
    return pos, vel, vec(*GRAVITY) * DT, rect(0.0, 0.0, W, H)


def particles_arrays(state, dt=DT):
    pos, vel, g, box = state
    vel += g
    pos.to_added(vel, dt)
    vel.to_bounced(pos, box)


def numpy_state(np, data):
    if np is None:
        return None
    a = np.array(data, dtype=np.float32)
    g = np.array(GRAVITY, dtype=np.float32) * np.float32(DT)
    return np.ascontiguousarray(a[:, :2]), np.ascontiguousarray(a[:, 2:]), g, np


def particles_numpy(state, dt=DT, w=W, h=H):
    pos, vel, g, np = state
    vel += g
    pos += vel * np.float32(dt)
    for axis, high in ((0, w), (1, h)):
        p, v = pos[:, axis], vel[:, axis]
        speed = np.abs(v)
        v[:] = np.where(p < 0.0, speed, np.where(p > high, -speed, v))


# Top-down chase: every enemy moves toward the player by its own speed * dt.
# Each step writes the new positions into a second array, so repeated steps
# time the same chase (the enemies never all arrive); `advance` swaps them.
def enemy_data(n, seed=5):
    rng = random.Random(seed)
    return ([(rng.uniform(0, W), rng.uniform(0, H)) for _ in range(n)],
            [rng.uniform(20, 120) for _ in range(n)])


def enemies_array_state(arr_type, vec, np, n):
    if arr_type is None or np is None:
        return None
    where, speeds = enemy_data(n)
    return [arr_type(where), np.array(speeds) * DT, vec(W / 2, H / 2), arr_type(n)]


def enemies_arrays(state):
    pos, steps, player, out = state
    pos.get_moved_towards(player, steps, out=out)


def enemies_numpy_state(np, n):
    if np is None:
        return None
    where, speeds = enemy_data(n)
    pos = np.array(where, dtype=np.float32)
    return [pos, np.array(speeds) * DT, np.array((W / 2, H / 2), dtype=np.float32),
            np.empty_like(pos), np]


def enemies_numpy(state):
    pos, steps, player, out, np = state
    d = player - pos
    dist = np.sqrt((d * d).sum(axis=1))
    step = np.minimum(steps / np.maximum(dist, 1e-12), 1.0)
    np.add(pos, d * step[:, None].astype(np.float32), out=out)


def advance(state):
    """The written positions become the current ones (both states keep them
    at 0 and 3)."""
    state[0], state[3] = state[3], state[0]


def positions(state):
    """Final positions as plain float pairs, whatever the variant."""
    return [p if isinstance(p, tuple) else (float(p[0]), float(p[1])) for p in state[0]]


# -- broadphase -------------------------------------------------------------

def box_data(n, seed=99):
    """n integer boxes (x, y, w, h) scattered over the W x H field."""
    rng = random.Random(seed)
    return [(rng.randrange(0, int(W) - 48), rng.randrange(0, int(H) - 48),
             rng.randrange(8, 48), rng.randrange(8, 48)) for _ in range(n)]


def broadphase_tarvex(rects):
    count = 0
    for i, a in enumerate(rects, 1):
        count += len(a.collide_list_all(rects[i:]))
    return count


def broadphase_tarvex_loop(rects):
    # The same with one collide_rect call per pair.
    count = 0
    for i, a in enumerate(rects, 1):
        for b in rects[i:]:
            if a.collide_rect(b):
                count += 1
    return count


def broadphase_pygame(rects):
    count = 0
    for i, a in enumerate(rects, 1):
        count += len(a.collidelistall(rects[i:]))
    return count


def broadphase_numpy(boxes):
    # boxes: a float32 array shaped (n, 4); every pair tested at once.
    x, y, w, h = boxes.T
    r, b = x + w, y + h
    hit = ((x[:, None] < r[None, :]) & (x[None, :] < r[:, None])
           & (y[:, None] < b[None, :]) & (y[None, :] < b[:, None]))
    return int(np.count_nonzero(np.triu(hit, 1)))


def broadphase_rect_array(boxes):
    # boxes: a RectArray; the pairs come back as one (k, 2) buffer.
    return len(boxes.collide_pairs())


def broadphase_tuples(boxes):
    count = 0
    for i, (ax, ay, aw, ah) in enumerate(boxes, 1):
        ar, ab = ax + aw, ay + ah
        for bx, by, bw, bh in boxes[i:]:
            if ax < bx + bw and bx < ar and ay < by + bh and by < ab:
                count += 1
    return count


# -- agreement --------------------------------------------------------------

def verify(ns, steps=30, tol=1e-2):
    """Check every available variant against the plain-tuple one: the same
    final positions (within float tolerance) after `steps` particle steps,
    the same pair count in the broadphase. Raises AssertionError."""
    data = particle_data(512, seed=7)
    ref = tuple_state(data)
    for _ in range(steps):
        particles_tuples(ref)
    want = positions(ref)
    for name, vec, step in [("tarvex", ns.get("Vector2"), particles_tarvex),
                            ("pygame", ns.get("PgVector2"), particles_pygame),
                            ("PyGLM", ns.get("GlmVec2"), particles_glm)]:
        if vec is None:
            continue
        state = vector_state(vec, data)
        for _ in range(steps):
            step(state)
        worst = max(max(abs(a - c), abs(b - d)) for (a, b), (c, d) in zip(positions(state), want))
        assert worst <= tol, f"particles_{name} drifts {worst:g} from the tuple variant"
    np = ns.get("np")
    for name, state, step in [
            ("arrays", array_state(ns.get("Vector2Array"), ns.get("Vector2"), ns.get("Rect"), data),
             particles_arrays),
            ("numpy", numpy_state(np, data), particles_numpy)]:
        if state is None:
            continue
        for _ in range(steps):
            step(state)
        worst = max(max(abs(a - c), abs(b - d)) for (a, b), (c, d) in zip(positions(state), want))
        assert worst <= tol, f"particles_{name} drifts {worst:g} from the tuple variant"
    arrays = enemies_array_state(ns.get("Vector2Array"), ns.get("Vector2"), np, 300)
    numpy = enemies_numpy_state(np, 300)
    if arrays is not None:
        for _ in range(steps):
            enemies_arrays(arrays)
            enemies_numpy(numpy)
            advance(arrays)
            advance(numpy)
        worst = max(max(abs(a - c), abs(b - d)) for (a, b), (c, d) in zip(positions(arrays), positions(numpy)))
        assert worst <= tol, f"enemies_arrays drifts {worst:g} from the numpy variant"

    boxes = box_data(250)
    want = broadphase_tuples(boxes)
    assert want > 0, "the broadphase data has no overlapping pair"
    for name, cls, fn in [("tarvex", ns.get("Rect"), broadphase_tarvex),
                          ("tarvex_loop", ns.get("Rect"), broadphase_tarvex_loop),
                          ("pygame", ns.get("PgRect"), broadphase_pygame)]:
        if cls is None:
            continue
        got = fn([cls(*b) for b in boxes])
        assert got == want, f"broadphase_{name} counts {got} pairs, tuples {want}"
    for name, make, fn in [("numpy", ns.get("np_boxes"), broadphase_numpy),
                           ("rect_array", ns.get("RectArray"), broadphase_rect_array)]:
        if make is None:
            continue
        got = fn(make(boxes))
        assert got == want, f"broadphase_{name} counts {got} pairs, tuples {want}"
    return want
