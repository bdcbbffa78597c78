"""A procedural image: a colour field computed with numpy, made into an
Image, written as PNG, then edited in place through its pixel view."""
import numpy as np

from tarvex.image.image import Image
from tarvex.pixel_format.pixel_format import PixelFormat

W, H = 256, 160
y, x = np.mgrid[0:H, 0:W].astype(np.float32)
# Interfering waves: each channel a different mix, scaled to 0..255.
r = np.sin(x / 17.0) + np.sin(y / 11.0)
g = np.sin((x + y) / 23.0) + np.cos(np.hypot(x - W / 2, y - H / 2) / 9.0)
b = np.cos(x / 29.0 - y / 13.0)
rgba = np.empty((H, W, 4), np.uint8)
for i, c in enumerate((r, g, b)):
    rgba[..., i] = (c - c.min()) / (c.max() - c.min()) * 255
rgba[..., 3] = 255

img = Image.from_pixels(W, H, PixelFormat.UNCOMPRESSED_R8G8B8A8, rgba)
print(img.width, img.height, PixelFormat(img.format).name)
print("wrote plasma.png:", img.export("plasma.png"))

# The round trip: the pixels as a numpy array without copying, changed in
# place (a dark frame), then a new image from them.
view = np.frombuffer(img.data_view, np.uint8).reshape(H, W, 4)
view[:8], view[-8:], view[:, :8], view[:, -8:] = 0, 0, 0, 0
view[..., 3] = 255
framed = Image.from_pixels(W, H, img.format, view.copy())
del view                      # a view keeps the image's pixels; let it go
print("wrote framed.png:", framed.export("framed.png"))
