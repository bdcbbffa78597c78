from typing import disjoint_base

@disjoint_base
class GlyphInfo:
    def __init__(self) -> None: ...
