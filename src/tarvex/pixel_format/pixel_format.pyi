import enum

class PixelFormat(enum.IntEnum):
    # stubgen: members
