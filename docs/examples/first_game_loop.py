"""A first game loop without a window: bodies move inside a box, bounce off
its walls and count how often they touch each other."""
import random

from tarvex.rect.rect import Rect
from tarvex.vector2.vector2 import Vector2

random.seed(7)
BOX = Rect(0, 0, 320, 240)      # the arena, y grows downward
SIZE = Vector2(12, 12)          # every body is a 12 x 12 square
DT = 1 / 60                     # one fixed step


class Body:
    def __init__(self):
        self.pos = Vector2(random.uniform(0, 300), random.uniform(0, 220))
        self.vel = Vector2.from_polar(random.uniform(40, 120), random.uniform(0, 360))
        self.rect = Rect(self.pos, SIZE)

    def step(self):
        self.pos.to_added(self.vel, DT)          # pos += vel * dt, in place
        self.rect.topleft = self.pos
        # Bounce: flip the velocity's component that leaves the box.
        if self.rect.left < BOX.left or self.rect.right > BOX.right:
            self.vel.x = -self.vel.x
        if self.rect.top < BOX.top or self.rect.bottom > BOX.bottom:
            self.vel.y = -self.vel.y
        self.rect.to_clamped(BOX)                # keep it inside
        self.pos.update(self.rect.topleft)


bodies = [Body() for _ in range(40)]
touches = 0
for frame in range(600):                         # ten seconds of game time
    for b in bodies:
        b.step()
    rects = [b.rect for b in bodies]
    for i, b in enumerate(bodies):
        # Indices of every rectangle overlapping this one (itself included).
        touches += len(b.rect.collide_list_all(rects)) - 1

inside = all(BOX.contains(b.rect) for b in bodies)
print(f"{len(bodies)} bodies, 600 frames, all inside the box: {inside}")
print(f"pairs touching, summed over the frames: {touches // 2}")
