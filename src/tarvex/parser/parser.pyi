from types import CapsuleType
from typing import Any

__pyx_capi__: dict[str, CapsuleType]
__test__: dict[str, Any]
