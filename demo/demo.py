"""A short tour of tarvex: runs every demo/show_*.py in name order."""
import pathlib
import runpy

here = pathlib.Path(__file__).parent
for part in sorted(here.glob("show_*.py")):
    print(f"=== {part.stem[5:]}")
    runpy.run_path(str(part), run_name="__main__")
