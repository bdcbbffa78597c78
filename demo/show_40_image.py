import pathlib

from tarvex.color.color import Color
from tarvex.image.image import Image

out = pathlib.Path(__file__).resolve().parent / "out"
out.mkdir(exist_ok=True)

navy, gold = Color(20, 30, 90, 255), Color(250, 200, 40, 255)
images = {
    "gradient": Image.generate_with_linear_gradient(256, 128, 45, navy, gold),
    "radial": Image.generate_with_radial_gradient(128, 128, 0.2, gold, navy),
    "checks": Image.generate_with_checked(256, 128, 32, 32, navy, gold),
    "noise": Image.generate_with_perlin_noise(256, 128, 0, 0, 4.0),
    "cellular": Image.generate_with_cellular(256, 128, 32),
    "text": Image.generate_with_text(32, 8, "tarvex draws bytes as grey pixels from a string"),
}

# Pixels are writable in place: draw a white frame on the checks.
checks = images["checks"]
view = checks.data_view
row = checks.width * 4
for x in range(checks.width):
    for y in (0, checks.height - 1):
        view[y * row + x * 4:y * row + x * 4 + 4] = b"\xff\xff\xff\xff"

for name, im in images.items():
    path = out / f"{name}.png"
    ok = im.export(str(path))
    print(f"{name:9} {im!r:28} -> {'wrote' if ok else 'FAILED'} {path}")

red = images["gradient"].from_channel(0)
red.export(str(out / "gradient_red.png"))
again = Image.load(str(out / "checks.png"))
print(f"loaded back {again!r}; the red channel of the gradient is {red!r}")
print(f"PNG files are in {out}")
