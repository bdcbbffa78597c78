"""Sound on real WAV files: loading, aliases, playback, update, the stored
32-bit properties, refusals, pickling and garbage collection."""
import array
import copy
import gc
import inspect
import pickle
import shutil
import subprocess

import pytest

import _sound_testhelper as helper
from tarvex.audio_stream.audio_stream import AudioStream
from tarvex.image.image import Image
from tarvex.sound.sound import Sound

from soundtools import RATE, played, record, write_wav

PICKLE = "self._raw cannot be converted to a Python object for pickling"


@pytest.fixture
def wav(tmp_path, audio):
    """A 2 s tone: long enough to be still playing when looked at."""
    write_wav(tmp_path / "tone.wav", 2 * RATE)
    return str(tmp_path / "tone.wav")


def test_empty_sound_and_layout():
    # header, table, Sound (40 bytes), _is_alias and three floats, _stream
    assert Sound.__basicsize__ == object.__basicsize__ + 8 + 40 + 16 + 8
    s = Sound("ignored", key=3)
    assert (s.valid, s.frame_count, s.is_alias, s.playing, s.stream) == (False, 0, False, False, None)
    assert (s.volume, s.pitch, s.pan) == (0.0, 0.0, 0.0)
    for act in (s.play, s.pause, s.resume, s.stop, s.unload, s.unload):
        assert act() is None
    assert s.update(b"", 5) is None          # nothing loaded: nothing copied


@pytest.mark.parametrize("rate, width, channels", [(48000, 2, 2), (22050, 1, 1), (44100, 2, 1)])
def test_load_converts_to_the_device_format(tmp_path, audio, rate, width, channels):
    write_wav(tmp_path / "t.wav", rate // 5, rate, width, channels)
    s = Sound.load(str(tmp_path / "t.wav"))
    assert type(s) is Sound and s.valid and not s.is_alias
    assert s.frame_count == 9600           # 0.2 s at 48 kHz
    assert (s.volume, s.pitch, s.pan) == (1.0, 1.0, 0.5)
    st = s.stream
    assert type(st) is AudioStream and st is s.stream and st.valid
    assert repr(st) == "<AudioStream 48000 Hz, 32-bit, 2 channels, borrowed>"


def test_ogg_converted_by_sox(tmp_path, audio):
    write_wav(tmp_path / "t.wav", 9600)
    ogg = str(tmp_path / "t.ogg")
    if not shutil.which("sox") or subprocess.run(["sox", str(tmp_path / "t.wav"), ogg]).returncode:
        pytest.skip("no sox that writes OGG")
    s = Sound.load(ogg)
    assert s.valid and abs(s.frame_count - 9600) < 2000


@pytest.mark.parametrize("name, exc, text", [
    (None, AttributeError, "'NoneType' object has no attribute 'encode'"),
    (b"t.wav", TypeError, "Argument 'file_name' has incorrect type (expected str, got bytes)"),
    (type("S", (str,), {})("t.wav"), TypeError,
     "Argument 'file_name' has incorrect type (expected str, got S)"),
    ("t.wav\0.ogg", ValueError, "embedded null character in file_name"),
    ("bad\ud800.wav", UnicodeEncodeError, None),
])
def test_load_refusals(name, exc, text):
    with pytest.raises(exc) as e:
        Sound.load(name)
    assert text is None or str(e.value) == text
    assert e.traceback[-1].name == "tarvex.sound.sound.Sound.load"


def test_files_raylib_cannot_read_give_invalid_sounds(tmp_path, audio):
    (tmp_path / "junk.wav").write_bytes(b"RIFF....WAVEjunk")
    for name in ("missing.wav", "junk.wav", "."):
        assert not Sound.load(str(tmp_path / name)).valid


@pytest.mark.parametrize("source, got", [(None, "NoneType"), (Image(), "tarvex.image.image.Image")])
def test_load_alias_refuses_what_is_not_a_sound(source, got):
    with pytest.raises(TypeError) as e:
        Sound.load_alias(source)
    assert str(e.value) == ("Argument 'source' has incorrect type "
                            f"(expected tarvex.sound.sound.Sound, got {got})")
    assert e.traceback[-1].name == "tarvex.sound.sound.Sound.load_alias"


def test_alias_has_its_own_defaults_and_buffer(wav):
    src = Sound.load(wav)
    src.volume, src.pan = 0.25, 1.0
    a = Sound.load_alias(source=src)
    assert a.valid and a.is_alias and a.frame_count == src.frame_count
    assert (a.volume, a.pitch, a.pan) == (1.0, 1.0, 0.5)
    assert a.stream is not src.stream and helper.sound_fields(a)[1] != helper.sound_fields(src)[1]
    a.unload()                              # UnloadSoundAlias: the source stays playable
    src.play()
    assert src.playing and src.valid


def test_playback_controls(wav):
    s = Sound.load(wav)
    states = [s.playing]
    for act in (s.play, s.pause, s.resume, s.stop):
        act()
        states.append(s.playing)
    assert states == [False, True, False, True, False]


def test_unload_twice(wav):
    s = Sound.load(wav)
    st, before = s.stream, helper.sound_fields(s)
    s.unload()
    s.unload()
    after = helper.sound_fields(s)
    assert not s.valid and s.frame_count == 2 * RATE and not s.playing
    assert after[1] == 0 and after[2:11] == before[2:11]
    # The stream is the same object, now describing a released stream.
    assert s.stream is st and not st.valid and helper.stream_fields(st)[1] == 0
    assert repr(st) == "<AudioStream 48000 Hz, 32-bit, 2 channels, no buffer>"


@pytest.mark.parametrize("prop", ["volume", "pitch", "pan"])
@pytest.mark.parametrize("value, stored", [
    (2.5, 2.5), (0.1, 0.10000000149011612), (-3, -3.0), (1e39, float("inf")),
    (type("I", (), {"__index__": lambda self: 7})(), 7.0),
])
def test_float_properties_store_32_bit_values(wav, prop, value, stored):
    for s in (Sound(), Sound.load(wav)):
        setattr(s, prop, value)
        assert getattr(s, prop) == stored


@pytest.mark.parametrize("prop", ["volume", "pitch", "pan"])
def test_float_property_refusals_store_nothing(prop):
    s = Sound()
    setattr(s, prop, 0.75)
    with pytest.raises(TypeError) as e:
        setattr(s, prop, "loud")
    assert e.traceback[-1].name == f"tarvex.sound.sound.Sound.{prop}.__set__"
    with pytest.raises(NotImplementedError, match="^__del__$"):
        delattr(s, prop)
    assert getattr(s, prop) == 0.75


def test_update_copies_bytes_bytearray_and_arrays(audio, tmp_path):
    write_wav(tmp_path / "t.wav", 4800)
    s = Sound.load(str(tmp_path / "t.wav"))
    for seed, kind in enumerate((bytes, bytearray, memoryview), 1):
        fresh = write_wav(tmp_path / "x.wav", 4800, seed=seed)
        assert s.update(kind(fresh.tobytes()), 4800) is None
        assert played(record(audio, s, 2000), fresh)
    head = write_wav(tmp_path / "x.wav", 4800, seed=9)
    s.update(array.array("f", head[:2000]), frame_count=1000)   # only the first frames
    assert played(record(audio, s, 1500), head, 1000)


@pytest.mark.parametrize("data, frames, exc, text", [
    (5, 1, TypeError, "Object does not support the Python buffer protocol"),
    (5, "1", TypeError, "an integer is required"),      # frame_count is converted first
    (memoryview(bytes(64))[::2], 1, TypeError, "Object does not support the Python buffer protocol"),
    (bytes(8), "1", TypeError, "an integer is required"),
    (bytes(8), 2**31, OverflowError, "value too large to convert to int"),
    (bytes(8), -1, ValueError, "frame_count must not be negative (got -1)"),
    (bytes(8 * 4801), 4801, ValueError, "frame_count 4801 is larger than the sound's 4800 frames"),
    (bytes(8 * 10 - 1), 10, ValueError,
     "data holds 79 bytes, fewer than 10 frames of 8 bytes (2 channels of 32-bit samples)"),
    (bytes(8), 2.9, ValueError,                         # truncated toward zero
     "data holds 8 bytes, fewer than 2 frames of 8 bytes (2 channels of 32-bit samples)"),
])
def test_update_refusals(tmp_path, audio, data, frames, exc, text):
    write_wav(tmp_path / "t.wav", 4800)
    s = Sound.load(str(tmp_path / "t.wav"))
    with pytest.raises(exc) as e:
        s.update(data, frames)
    assert str(e.value) == text
    assert e.traceback[-1].name == "tarvex.sound.sound.Sound.update"
    s.unload()
    if exc is ValueError and frames >= 0:  # an unloaded sound copies nothing, so refuses nothing
        assert s.update(data, frames) is None


@pytest.mark.parametrize("call, text", [
    (lambda: Sound().update(b""), "update() takes exactly 2 positional arguments (1 given)"),
    (lambda: Sound.load(name="x"), "load() got an unexpected keyword argument 'name'"),
    (lambda: Sound().play(1), "play() takes exactly 0 positional arguments (1 given)"),
    (lambda: Sound().unload(x=1), "unload() got an unexpected keyword argument 'x'"),
])
def test_argument_binding_messages(call, text):
    with pytest.raises(TypeError) as e:
        call()
    assert str(e.value) == text
    assert e.traceback[-1].name.startswith("tarvex.sound.sound.Sound.")


@pytest.mark.parametrize("name, signature, returns", [
    ("load", "(file_name)", "Sound"),
    ("load_alias", "(source)", "Sound"),
    ("update", "(self, /, data, frame_count)", "return None"),
] + [(name, "(self, /)", "return None") for name in ("play", "stop", "pause", "resume", "unload")])
def test_signatures_and_docs(name, signature, returns):
    # The summary (the first paragraph, wrapped for help()) says what the
    # method returns.
    method = getattr(Sound, name)
    assert str(inspect.signature(method)) == signature
    assert returns in " ".join(method.__doc__.split("\n\n")[0].split())


def test_arguments_by_keyword(wav):
    s = Sound.load(file_name=wav)
    assert s.valid and Sound.load_alias(source=s).valid
    assert s.update(data=bytes(8), frame_count=1) is None


@pytest.mark.parametrize("act", [pickle.dumps, copy.copy, copy.deepcopy,
                                 lambda s: s.__reduce__(), lambda s: s.__setstate__(None)])
@pytest.mark.parametrize("make", [Sound, lambda: Sound.load_alias(Sound()).stream])
def test_pickling_and_copying_are_refused(act, make):
    with pytest.raises(TypeError, match=f"^{PICKLE}$"):
        act(make())


def test_subclass_and_garbage_collection(wav):
    class Mine(Sound):
        pass
    mine = Mine("ignored", key=3)
    assert type(mine) is Mine and helper.sound_fields(mine)[1:] == (0,) * 7 + (0.0,) * 3 + (None,)
    assert type(Mine.load_alias(Mine())) is Sound    # static methods give plain sounds
    src = Sound.load(wav)
    st = src.stream
    assert gc.get_referents(src) == [st]
    s = Mine()
    s.me, s.held = s, src
    del s, src
    gc.collect()
    # The cycle went, and with it the sound; its stream now has no buffer.
    assert helper.stream_fields(st)[1] == 0 and not st.valid
