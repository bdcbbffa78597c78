"""Cases that raylib itself would turn into a crash or a read of freed
samples. Each runs in a child interpreter, so a crash fails only its own
case; under the sanitizers a use after free fails it too."""
import pytest

from imagetools import run_ok
from soundtools import CHILD_OPEN, CHILD_PRELUDE

CASES = {
    # raylib's LoadSoundAlias reads through the source's buffer pointer.
    "alias of an empty sound": "a = Sound.load_alias(Sound()); assert a.is_alias and not a.valid",
    "alias of a failed load": "a = Sound.load_alias(Sound.load(d + '/none.wav')); assert not a.valid",
    "alias of an unloaded sound": """
s = Sound.load(wav); s.unload()
a = Sound.load_alias(s); assert not a.valid; a.play(); a.unload()
""",
    # Aliases share their source's samples: releasing the source in any way
    # must leave them playing the right frames.
    "alias plays after its source is unloaded": """
s = Sound.load(wav); a = Sound.load_alias(s); s.unload(); s.unload()
assert played(record(rl, a, 4000), samples)
""",
    "alias of an alias plays after both are gone": """
s = Sound.load(wav); a = Sound.load_alias(s); b = Sound.load_alias(a)
del s, a; gc.collect()
assert played(record(rl, b, 4000), samples)
""",
    "update through an alias after the source went": """
s = Sound.load(wav); a = Sound.load_alias(s); del s; gc.collect()
fresh = write_wav(d + '/x.wav', 24000, seed=5)
a.update(fresh, 24000)
assert played(record(rl, a, 4000), fresh)
""",
    "release orders": """
for order in ([0, 1, 2], [2, 1, 0], [1, 0, 2], [0, 2, 1]):
    sounds = [Sound.load(wav)]
    sounds += [Sound.load_alias(sounds[0]), Sound.load_alias(sounds[0])]
    for s in sounds:
        s.play()
    for i in order:
        sounds[i].unload()
    assert not any(s.valid or s.playing for s in sounds)
""",
    "source unloaded while playing stops it": """
s = Sound.load(wav); a = Sound.load_alias(s); s.play(); a.play(); s.unload()
assert not s.playing and a.playing
""",
    # A stream handed out by a sound never describes freed memory.
    "stream outlives its sound": """
s = Sound.load(wav); st = s.stream; del s; gc.collect()
assert not st.valid and helper.stream_fields(st)[1] == 0 and 'no buffer' in repr(st)
""",
    # Copies stay inside both buffers.
    "update refusals leave the samples alone": """
s = Sound.load(wav)
for data, n in ((b'', 1), (bytes(7), 1), (bytes(8), 2), (bytes(8 * 24001), 24001), (b'', -5),
                (bytes(8), -2**31)):
    try:
        s.update(data, n)
    except ValueError:
        pass
    else:
        raise AssertionError((len(data), n))
assert played(record(rl, s, 4000), samples)
""",
    "update of a sound made from a zero value": """
s = helper.sound_new(None, None)
s.update(b'', 0); s.update(bytes(8), 1); s.play(); s.volume = 2
""",
}

NO_DEVICE = CHILD_PRELUDE + """
assert not rl.IsAudioDeviceReady()
s = Sound.load(wav)
assert not rl.IsAudioDeviceReady()         # the module never opens the device
assert not s.valid and s.stream.sample_rate == 0
a = Sound.load_alias(s)
for x in (s, a):
    x.play(); x.pause(); x.resume(); x.stop(); x.update(b'', 3)
    x.volume = x.pitch = x.pan = 0.5
    assert not x.playing
    x.unload()
print('done')
"""


@pytest.mark.parametrize("case", CASES)
def test_unsafe_case_is_handled_safely(audio, case):
    p = run_ok(CHILD_OPEN + CASES[case] + "\nprint('done')\n")
    assert p.stdout.strip().endswith("done")


def test_without_a_device_nothing_loads_and_nothing_breaks():
    p = run_ok(NO_DEVICE)
    assert p.stdout.strip().endswith("done")


def test_no_info_lines_from_raylib(audio):
    p = run_ok(CHILD_OPEN + """
s = Sound.load(wav); a = Sound.load_alias(s); a.play(); a.unload(); s.unload()
helper.stream_c_unload(helper.stream_new(44100, 16, 1))
""")
    assert "INFO" not in p.stdout + p.stderr
