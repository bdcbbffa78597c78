from typing_extensions import disjoint_base

from tarvex.color.color import Color

@disjoint_base
class Colors:
    def __init__(self) -> None: ...
    # stubgen: palette colors.h

colors: Colors
