"""The package's modules, in one list for the tests that walk them all:
each is tarvex.<name>.<name>."""
MODULES = ["vector2", "vector3", "vector4", "rect", "parser", "color", "colors", "pixel_format",
           "image", "sound", "audio_stream", "audio_device", "glyph_info",
           "vector2_array", "vector3_array", "rect_array"]
# The modules that link raylib.
RAYLIB_USERS = {"image", "sound", "audio_stream", "audio_device"}
