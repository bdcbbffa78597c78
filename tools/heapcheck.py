"""Native heap check of the raylib-backed lifecycles.

    python3.15 tools/heapcheck.py [--reps N]

runs every lifecycle below N / 2 times, then N times (200 by default), each
time in a child interpreter under valgrind's memcheck with the system
allocator behind Python, and fails on every heap record (lost, or still held
at exit) allocated through raylib or a tarvex module that grew between the
two runs by at least one block per two added repetitions. What the
interpreter keeps or loses at exit does not depend on the count; nor does
what raylib sets up once. The one growth allowed is raylib 6.0's known
loss: `UnloadSoundAlias` frees an alias's buffer but not the 64-byte resampling
cache that `LoadAudioBuffer` allocated for it (`UnloadAudioBuffer` frees that
cache, but it also frees the samples the alias shares with its source, and the
cache pointer sits in a structure raylib keeps private). That record is
allowed when its blocks are exactly the aliases made, 64 bytes each. Memory
errors that valgrind reports in raylib or tarvex fail the check too.

The modules and raylib are taken from the import path (PYTHONPATH), so the
check runs against whichever build the caller points at. The sound
lifecycles need raylib's audio device; run where libasound is hidden (as
`./dev` runs tests), so that miniaudio opens its Null backend.

Lifecycles: images loaded (PNG, raw, animated GIF, a missing file), generated
(every generator), copied (copy, copy.copy, from_channel), exported, viewed
through data_view, and released by unload() and by deallocation; sounds loaded
(and a missing file), updated, played and stopped, aliased (alias released
first, source released first, alias of an alias), released both ways, and
released by the audio device closing under them (then opened again).
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ALIAS_LOSS = 64         # bytes raylib loses per LoadSoundAlias/UnloadSoundAlias pair


# ------------------------------------------------------------ the child side

def image_lifecycles(d):
    import copy

    from PIL import Image as PILImage

    from tarvex.color.color import Color
    from tarvex.image.image import Image

    red, blue = Color(255, 0, 0, 255), Color(0, 0, 255, 128)
    png, raw, gif = (os.path.join(d, n) for n in ("a.png", "a.raw", "a.gif"))
    out_png, out_bmp = os.path.join(d, "out.png"), os.path.join(d, "out.bmp")
    assert Image.generate_with_checked(8, 6, 2, 2, red, blue).export(png)
    with open(raw, "wb") as f:
        f.write(bytes(16) + bytes(i % 251 for i in range(8 * 6 * 4)))
    frames = [PILImage.new("RGB", (5, 4), c) for c in ((255, 0, 0), (0, 255, 0), (0, 0, 255))]
    frames[0].save(gif, save_all=True, append_images=frames[1:], duration=50, loop=0)

    def loaded():
        im = Image.load(png)
        assert im.valid
        im.unload()
        Image.load(png)                          # released by deallocation

    def raw_and_anim():
        assert Image.load_raw(raw, 8, 6, 7, 16).valid
        im, count = Image.load_anim(gif)
        assert im.valid and count == 3
        assert not Image.load(os.path.join(d, "missing.png")).valid

    def generated():
        for im in (Image.generate_with_color(6, 5, red),
                   Image.generate_with_linear_gradient(6, 5, 45, red, blue),
                   Image.generate_with_radial_gradient(6, 5, 0.5, red, blue),
                   Image.generate_with_square_gradient(6, 5, 0.5, red, blue),
                   Image.generate_with_checked(6, 5, 2, 2, red, blue),
                   Image.generate_with_white_noise(6, 5, 0.5),
                   Image.generate_with_perlin_noise(6, 5, 1, 2, 1.5),
                   Image.generate_with_cellular(6, 5, 2),
                   Image.generate_with_text(6, 5, "hi")):
            assert im.valid

    def copied_and_exported():
        im = Image.load(png)
        for c in (im.copy(), copy.copy(im), copy.deepcopy(im), im.from_channel(1)):
            assert c.valid
        assert im.export(out_png) and im.export(out_bmp)
        view = im.data_view
        view[0] = 7
        del view
        im.unload()

    return {"image load/unload": loaded, "image load_raw/load_anim/missing": raw_and_anim,
            "image generators": generated, "image copy/from_channel/export/view": copied_and_exported}


def sound_lifecycles(d):
    import wave

    from tarvex.audio_device.audio_device import AudioDevice
    from tarvex.sound.sound import Sound

    device = AudioDevice().open()
    if not device.is_ready:
        raise SystemExit("heapcheck: raylib could not open an audio device")
    wav = os.path.join(d, "t.wav")
    with wave.open(wav, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(48000)
        w.writeframes(bytes(range(256)) * 150)
    samples = bytes(4800 * 8)
    made = {"aliases": 0}

    def alias(source):
        a = Sound.load_alias(source)
        assert a.valid
        made["aliases"] += 1
        return a

    def loaded():
        s = Sound.load(wav)
        assert s.valid
        s.update(samples, 100)
        s.play()
        s.stop()
        s.unload()
        Sound.load(wav)                          # released by deallocation
        assert not Sound.load(os.path.join(d, "missing.wav")).valid

    def aliased():
        s = Sound.load(wav)
        a = alias(s)
        a.unload()                               # the alias first
        b = alias(s)
        s.unload()                               # the source first: kept for b
        del b
        s = Sound.load(wav)
        c = alias(alias(s))                      # an alias of an alias
        c.play()
        del s, c

    def closed_under_sounds():
        # Closing the device releases the sounds still loaded, while raylib's
        # mixer exists; releasing them afterwards touches nothing.
        s = Sound.load(wav)
        a = alias(s)
        b = alias(a)
        s.play()
        device.close()
        assert not (s.valid or a.valid or b.valid or s.playing)
        a.unload()
        del s, a, b
        device.open()
        assert device.owns_device

    return ({"sound load/update/play/unload": loaded, "sound aliases": aliased,
             "sound device closed under sounds": closed_under_sounds}, made, device)


def child(reps, out):
    d = tempfile.mkdtemp(prefix="tarvex-heapcheck-")
    try:
        lifecycles = image_lifecycles(d)
        sounds, made, device = sound_lifecycles(d)
        lifecycles.update(sounds)
        for run in lifecycles.values():
            run()                                # raylib's one-time setup happens here
        # Each opening of the device makes miniaudio try its backends with
        # dlopen, and the dynamic loader keeps a copy of each path it looked
        # up: that loss is the loader's and grows with the openings, so the
        # lifecycle that closes and reopens the device runs once (checked for
        # memory errors), not repeated.
        for name, run in lifecycles.items():
            for _ in range(0 if name == "sound device closed under sounds" else reps):
                run()
        device.close()
    finally:
        shutil.rmtree(d, ignore_errors=True)
    with open(out, "w") as f:
        json.dump({"aliases": made["aliases"], "lifecycles": list(lifecycles)}, f)


# ----------------------------------------------------------- the parent side

def frames(error):
    out = []
    for fr in error.iter("frame"):
        out.append((fr.findtext("fn") or "???", fr.findtext("obj") or ""))
    return out


def ours(stack):
    """Whether a stack passes through raylib or a tarvex module (which sits
    at tarvex/<name>/<name><suffix>)."""
    return any("libraylib" in os.path.basename(obj) or obj.split("/")[-3:-2] == ["tarvex"]
               for _, obj in stack)


def describe(stack, limit=14):
    return "\n".join(f"      {fn}  ({os.path.basename(obj)})" for fn, obj in stack[:limit])


def memcheck(reps):
    """Runs the lifecycles `reps` times under memcheck; returns the child's
    record and valgrind's errors (leak records included) as (kind, blocks,
    bytes, what, stack) tuples."""
    work = tempfile.mkdtemp(prefix="tarvex-heapcheck-")
    xml, out = os.path.join(work, "memcheck.xml"), os.path.join(work, "child.json")
    env = dict(os.environ, PYTHONMALLOC="malloc")
    cmd = ["valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=all",
           "--num-callers=40", "--xml=yes", f"--xml-file={xml}",
           sys.executable, os.path.abspath(__file__), "--reps", str(reps), "--child", out]
    try:
        p = subprocess.run(cmd, capture_output=True, text=True, env=env)
        if p.returncode != 0:
            raise SystemExit(f"heapcheck: the child exited with {p.returncode}\n"
                             f"{p.stdout}\n{p.stderr}")
        with open(out) as f:
            info = json.load(f)
        root = ET.parse(xml).getroot()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    errors = []
    for error in root.iter("error"):
        blocks = int(error.findtext("xwhat/leakedblocks") or 0)
        size = int(error.findtext("xwhat/leakedbytes") or 0)
        errors.append((error.findtext("kind"), blocks, size, error.findtext("what") or
                       error.findtext("xwhat/text"), tuple(frames(error))))
    return info, errors


def parent(reps):
    """Two runs, `reps` // 2 and `reps` repetitions: what grows between them
    grows with the repetitions; what the interpreter keeps or loses at exit
    whatever the count does not."""
    few, many = reps // 2, reps
    info1, errors1 = memcheck(few)
    info2, errors2 = memcheck(many)
    problems = [f"{kind}: {what}\n{describe(stack)}" for kind, _, _, what, stack
                in errors1 + errors2 if not kind.startswith("Leak_") and ours(stack)]

    def totals(errors):
        t = {}
        for kind, blocks, size, _, stack in errors:
            if kind.startswith("Leak_"):
                b, s = t.get((kind, stack), (0, 0))
                t[(kind, stack)] = (b + blocks, s + size)
        return t

    before, after = totals(errors1), totals(errors2)
    aliases = info2["aliases"] - info1["aliases"]
    growth, allowed = {}, None
    for key, (blocks, size) in after.items():
        b0, s0 = before.get(key, (0, 0))
        db, ds = blocks - b0, size - s0
        kind, stack = key
        if db * 2 < many - few or not ours(stack):
            continue
        if (kind == "Leak_DefinitelyLost" and any(fn == "LoadSoundAlias" for fn, _ in stack)
                and ds == ALIAS_LOSS * db and db == aliases):
            allowed = (db, ds)
            continue
        problems.append(f"{kind}: grew by {ds} bytes in {db} blocks over {many - few} "
                        f"more repetitions\n{describe(stack)}")
        growth[kind] = growth.get(kind, 0) + ds

    print(f"heapcheck: {len(info2['lifecycles'])} lifecycles, run {few} and {many} times; "
          f"{aliases} more sound aliases in the longer run")
    if allowed:
        print(f"heapcheck: raylib's known alias loss: {allowed[1]} bytes in {allowed[0]} "
              f"blocks ({ALIAS_LOSS} bytes per alias)")
    else:
        print("heapcheck: raylib lost nothing for the sound aliases")
    return "\n\n".join(problems) or None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--reps", type=int, default=200,
                    help="repetitions of the longer of the two runs (the other runs half)")
    ap.add_argument("--child", metavar="RESULT", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.child:
        child(args.reps, args.child)
        return 0
    failure = parent(args.reps)
    if failure:
        print("heapcheck: FAILED, heap growth with the repetitions:\n\n" + failure)
        return 1
    print("heapcheck: no growth")
    return 0


if __name__ == "__main__":
    sys.exit(main())
