"""AudioDevice: opening and closing raylib's audio device, ownership beside
other openers, the master volume, and the sounds alive when it closes. The
device is process-wide, so the lifecycles run in child interpreters that
start with it closed."""
import copy
import inspect
import math
import pickle

import pytest

import _audio_device_testhelper as helper
from tarvex.audio_device.audio_device import AudioDevice

from imagetools import run_ok
from soundtools import CHILD_PRELUDE

LIFECYCLE = CHILD_PRELUDE + """
from tarvex.audio_device.audio_device import AudioDevice
assert not rl.IsAudioDeviceReady()
device = AudioDevice()
assert not rl.IsAudioDeviceReady() and not device.is_ready and not device.owns_device
assert repr(device) == '<AudioDevice closed>' and device.master_volume == 0.0
assert device.open() is device
assert rl.IsAudioDeviceReady() and device.is_ready and device.owns_device
assert repr(device) == '<AudioDevice open, owned by this handle>'
assert device.master_volume == 1.0
other = AudioDevice().open()              # already open: nothing happens
assert other.is_ready and not other.owns_device
assert repr(other) == '<AudioDevice open, not owned by this handle>'
other.close()
assert device.is_ready and device.owns_device
device.open()
assert device.owns_device

s = Sound.load(wav)
a = Sound.load_alias(s)
assert s.valid and a.valid
assert played(record(rl, s, 4000), samples)
a.play()
device.close()                            # the loaded sounds go first
assert not rl.IsAudioDeviceReady() and not device.owns_device
assert not (s.valid or a.valid or a.playing) and s.frame_count == 24000
for x in (s, a):
    x.play(); x.stop(); x.volume = 0.5; x.update(b'', 0); x.unload()
device.close()
assert not Sound.load(wav).valid

with AudioDevice() as d:
    assert d.owns_device
    again = Sound.load(wav)
    assert again.valid and played(record(rl, again, 4000), samples)
assert not d.is_ready and not again.valid
print('done')
"""

ELSEWHERE = CHILD_PRELUDE + """
from tarvex.audio_device.audio_device import AudioDevice
rl.InitAudioDevice()                      # as a sibling binding would
with AudioDevice() as device:
    assert device.is_ready and not device.owns_device
s = Sound.load(wav)
assert rl.IsAudioDeviceReady() and s.valid
del device
assert rl.IsAudioDeviceReady()
s.unload()
rl.CloseAudioDevice()
# Closed behind the handles' back, then opened through one: it owns it.
d = AudioDevice().open()
assert d.owns_device
print('done')
"""

DEALLOCATED = CHILD_PRELUDE + """
import gc
from tarvex.audio_device.audio_device import AudioDevice
d = AudioDevice().open()
s = Sound.load(wav); s.play()
del d; gc.collect()
assert not rl.IsAudioDeviceReady() and not s.valid
e = AudioDevice()
del e                                     # a handle that owns nothing closes nothing
print('done')
"""

FAILED_WITH = CHILD_PRELUDE + """
from tarvex.audio_device.audio_device import AudioDevice
try:
    with AudioDevice() as d:
        s = Sound.load(wav)
        raise KeyError('in the block')
except KeyError as e:
    assert e.args == ('in the block',)
assert not rl.IsAudioDeviceReady() and not s.valid
print('done')
"""

LIFECYCLES = {"open, close and sounds": LIFECYCLE, "device opened elsewhere": ELSEWHERE,
              "deallocation closes": DEALLOCATED, "exception in the with block": FAILED_WITH}


@pytest.mark.parametrize("case", LIFECYCLES)
def test_device_lifecycle(audio, case):
    p = run_ok(LIFECYCLES[case])
    assert p.stdout.strip().endswith("done")


def test_importing_and_making_a_handle_open_nothing():
    p = run_ok("""
import tarvex.audio_device.audio_device, tarvex.sound.sound
from tarvex.audio_device.audio_device import AudioDevice
from soundtools import raylib
AudioDevice(); import _audio_device_testhelper as h; h.device_new()
assert not raylib().IsAudioDeviceReady() and not h.is_ready()
print('done')
""")
    assert p.stdout.strip().endswith("done")


def test_c_table_in_slot_order(audio):
    d = helper.device_new()
    assert type(d) is AudioDevice and not d.owns_device
    # The fixture's handle owns the open device: this one does not.
    assert helper.device_open(d) is d and helper.is_ready() == 1 and not d.owns_device
    helper.device_close(d)
    assert helper.is_ready() == 1
    assert helper.set_master_volume(0.25) == 0 and helper.get_master_volume() == 0.25
    with pytest.raises(ValueError, match=r"^master_volume must be from 0.0 to 1.0 \(got 2.0\)$"):
        helper.set_master_volume(2.0)
    helper.set_master_volume(1.0)
    with pytest.raises(TypeError, match="incorrect type"):
        helper.device_open(5)


def test_release_hooks_run_before_the_device_closes():
    p = run_ok("""
import _audio_device_testhelper as h
from tarvex.audio_device.audio_device import AudioDevice
h.add_counting_hook(); h.add_counting_hook()      # the same hook once
d = AudioDevice().open(); AudioDevice().open().close()
assert h.hook_counts() == (0, 0)
d.close(); d.close()
assert h.hook_counts() == (1, 1)
print('done')
""")
    assert p.stdout.strip().endswith("done")


@pytest.mark.parametrize("value, stored", [(0, 0.0), (0.1, 0.10000000149011612), (1, 1.0),
                                           (True, 1.0)])
def test_master_volume_is_raylibs_32_bit_float(audio, value, stored):
    d = AudioDevice()
    try:
        d.master_volume = value
        assert d.master_volume == stored and AudioDevice().master_volume == stored
    finally:
        d.master_volume = 1.0


@pytest.mark.parametrize("value, exc, text", [
    (-0.01, ValueError, r"master_volume must be from 0.0 to 1.0 \(got -0.01\)"),
    (1.5, ValueError, r"master_volume must be from 0.0 to 1.0 \(got 1.5\)"),
    (math.nan, ValueError, r"master_volume must be from 0.0 to 1.0 \(got nan\)"),
    ("0.5", TypeError, "must be real number, not str"),
])
def test_master_volume_refusals_change_nothing(audio, value, exc, text):
    d = AudioDevice()
    with pytest.raises(exc, match=text) as e:
        d.master_volume = value
    assert d.master_volume == 1.0
    assert e.traceback[-1].name == ("tarvex.audio_device.audio_device.AudioDevice."
                                    "master_volume.__set__")
    with pytest.raises(NotImplementedError, match="^__del__$"):
        del d.master_volume


def test_master_volume_needs_an_open_device():
    p = run_ok("""
from tarvex.audio_device.audio_device import AudioDevice
d = AudioDevice()
try:
    d.master_volume = 0.5
except RuntimeError as e:
    assert str(e) == 'the audio device is not open'
else:
    raise AssertionError
assert d.master_volume == 0.0
print('done')
""")
    assert p.stdout.strip().endswith("done")


@pytest.mark.parametrize("call, text", [
    (lambda: AudioDevice(1), r"AudioDevice\(\) takes exactly 0 positional arguments \(1 given\)"),
    (lambda: AudioDevice(x=1), r"AudioDevice\(\) got an unexpected keyword argument 'x'"),
    (lambda: type.__call__(AudioDevice, 1), r"takes exactly 0 positional arguments"),
    (lambda: AudioDevice().open(1), r"open\(\) takes exactly 0 positional arguments"),
    (lambda: AudioDevice().__exit__(None, None), r"__exit__\(\) takes exactly 3 positional"),
])
def test_argument_errors(call, text):
    with pytest.raises(TypeError, match=text):
        call()


def test_surface():
    assert str(inspect.signature(AudioDevice)) == "()"
    assert str(inspect.signature(AudioDevice.__exit__)) == (
        "(self, /, exc_type, exc_value, traceback)")
    with pytest.raises(TypeError):
        type("Sub", (AudioDevice,), {})
    for act in (pickle.dumps, copy.copy, copy.deepcopy):
        with pytest.raises(TypeError, match="^an AudioDevice handle cannot be pickled$"):
            act(AudioDevice())
