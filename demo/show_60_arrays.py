import pathlib
import random
import time

from tarvex.color.color import Color
from tarvex.image.image import Image
from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2
from tarvex.vector2_array.vector2_array import Vector2Array

out = pathlib.Path(__file__).resolve().parent / "out"
out.mkdir(exist_ok=True)

# 100,000 bodies burst from a point above the middle of an 800 x 600 box,
# in every direction, under gravity, bouncing off its walls: each frame is
# three calls over the whole population, whatever its size.
W, H, N, FRAMES, DT = 800, 600, 100_000, 150, 1.0 / 60.0
rng = random.Random(7)
pos = Vector2Array([(W / 2, H / 3)] * N)
vel = Vector2Array(Vector2.from_polar(rng.uniform(50, 700), rng.uniform(0, 360)) for _ in range(N))
gravity = Vector2(0, 900) * DT
box = Rect(0, 0, W - 1, H - 1)

t0 = time.perf_counter()
for _ in range(FRAMES):
    vel += gravity
    pos.to_added(vel, DT)
    vel.to_bounced(pos, box)
    pos.to_clamped(Vector2(0, 0), Vector2(W - 1, H - 1))
took = time.perf_counter() - t0
speeds = vel.get_length()
print(f"{N:,} bodies, {FRAMES} frames in {took * 1000:.0f} ms "
      f"({took / FRAMES * 1e6:.0f} us per frame); mean speed {sum(speeds) / N:.1f}")

# Masks select parts of the population: the bodies in the left half are
# counted, then removed from both arrays (compaction keeps the order).
left = pos.in_rect(Rect(0, 0, W / 2, H))
print(f"{sum(left):,} bodies in the left half")
vel.remove_where(left)
pos.remove_where(left)
print(f"{len(pos):,} bodies left after removing them")

# An image of the final positions: one bright pixel per body.
img = Image.generate_with_color(W, H, Color(20, 30, 90, 255))
view = img.data_view
dot = bytes((250, 200, 40, 255))
for p in pos:
    x, y = p.get_int_tuple()
    at = (y * W + x) * 4
    view[at:at + 4] = dot
path = out / "particles.png"
print(f"final positions -> {'wrote' if img.export(str(path)) else 'FAILED'} {path}")
