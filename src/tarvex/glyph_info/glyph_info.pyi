from typing_extensions import disjoint_base

@disjoint_base
class GlyphInfo:
    def __init__(self) -> None: ...
