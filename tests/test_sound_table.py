"""The C method tables of Sound and of the AudioStream stand-in, called the
way a sibling module calls them, AudioStream's own surface, and how a bad
AudioStream fails the import of Sound."""
import pytest

import _sound_testhelper as helper
import tarvex.audio_stream.audio_stream as stream_module
from tarvex.audio_stream.audio_stream import AudioStream
from tarvex.sound.sound import Sound

from imagetools import run_ok
from soundtools import RATE, write_wav


@pytest.fixture
def loaded(tmp_path, audio):
    write_wav(tmp_path / "t.wav", RATE // 10)
    return Sound.load(str(tmp_path / "t.wav"))


def test_every_instance_carries_the_table(loaded):
    table = helper.vtables()[0]
    sub = type("Sub", (Sound,), {})()
    for s in (Sound(), loaded, Sound.load_alias(loaded), sub, helper.sound_new(None, None)):
        assert helper.sound_fields(s)[0] == table


@pytest.mark.parametrize("record, alias", [(None, 0), ((0, 1), 0), ((1, 0), 0), ((1, 1), 1)])
def test_new_sets_defaults_and_the_alias_flag(record, alias):
    s = helper.sound_new(None, record)
    assert type(s) is Sound and not s.valid
    assert helper.sound_fields(s)[1:] == (0, 0, 0, 0, 0, 0, alias, 1.0, 1.0, 0.5, s.stream)
    assert helper.stream_fields(s.stream)[1:] == (0, 0, 0, 0, 0, 0)


def test_new_takes_over_a_loaded_sound(loaded):
    raw = helper.sound_fields(loaded)
    s = helper.sound_new(loaded, (1, 0))    # moves the raylib value out of `loaded`
    assert helper.sound_fields(s)[1:7] == raw[1:7] and s.valid and not loaded.valid
    # The stream is a borrower made by cfrom_struct with the stream's value.
    assert helper.stream_fields(s.stream)[1:] == raw[1:6] + (0,)
    helper.stream_c_unload(s.stream)        # a borrower releases nothing
    s.play()
    assert s.playing and s.stream.valid
    helper.sound_c_unload(s)
    helper.sound_c_unload(s)
    assert not s.valid and helper.sound_fields(s)[1] == 0 and not s.stream.valid


@pytest.mark.parametrize("record, owner", [(None, 0), ((0, 1), 0), ((1, 0), 0), ((1, 1), 1)])
def test_cfrom_struct_takes_ownership_only_when_asked(record, owner):
    st = helper.stream_cfrom_struct((44100, 16, 1), record)
    assert type(st) is AudioStream
    assert helper.stream_fields(st)[1:] == (0, 0, 44100, 16, 1, owner)
    assert (st.sample_rate, st.sample_size, st.channels, st.valid, st.is_owner) == \
        (44100, 16, 1, False, bool(owner))
    assert repr(st) == "<AudioStream 44100 Hz, 16-bit, 1 channel, no buffer>"


def test_stream_new_owns_and_c_unload_releases_once(audio):
    st = helper.stream_new(22050, 16, 2)
    assert st.valid and st.is_owner and helper.stream_fields(st)[1] != 0
    assert repr(st) == "<AudioStream 22050 Hz, 16-bit, 2 channels, owner>"
    moved = helper.stream_cfrom_struct(st, (1, 1))   # ownership passes on
    assert not st.valid and moved.valid
    helper.stream_c_unload(moved)
    helper.stream_c_unload(moved)
    assert not moved.valid and moved.sample_rate == 22050


@pytest.mark.parametrize("args, text", [
    ((0, 16, 2), "sample_rate must be positive (got 0)"),
    ((44100, 24, 2), "sample_size must be 8, 16 or 32 (got 24)"),
    ((44100, 16, 0), "channels must be from 1 to 8 (got 0)"),
    ((44100, 16, 9), "channels must be from 1 to 8 (got 9)"),
])
def test_stream_new_refuses_formats_raylib_cannot_stream(args, text):
    with pytest.raises(ValueError) as e:
        helper.stream_new(*args)
    assert str(e.value) == text
    assert e.traceback[-1].name == "tarvex.audio_stream.audio_stream.AudioStream.new"


def test_audio_stream_surface():
    assert [n for n in dir(stream_module) if not n.startswith("__")] == ["AudioStream"]
    with pytest.raises(TypeError):
        AudioStream()
    with pytest.raises(AttributeError):
        Sound.load_alias(Sound()).stream.sample_rate = 1


BIND_CHILD = """
import sys, traceback, types, warnings
fake = types.ModuleType("tarvex.audio_stream.audio_stream")
fake.AudioStream = {value}
sys.modules[fake.__name__] = fake
with warnings.catch_warnings(record=True) as caught:
    warnings.simplefilter("always")
    try:
        import tarvex.sound.sound
    except Exception as e:
        entry = traceback.extract_tb(e.__traceback__)[-1]
        print(type(e).__name__, e, entry.name, entry.filename, sep="|")
print(*[f"{w.category.__name__}: {w.message}" for w in caught], sep="|")
print("tarvex.sound.sound" in sys.modules)
"""
SIZE = ("tarvex.audio_stream.audio_stream.AudioStream size changed, may indicate binary "
        "incompatibility. Expected {} from C header, got {} from PyObject")


@pytest.mark.parametrize("value, error, warning", [
    ("5", "TypeError|tarvex.audio_stream.audio_stream.AudioStream is not a type object", ""),
    ("type('AudioStream', (), {})", "ValueError|" + SIZE.format(AudioStream.__basicsize__, 16), ""),
    ("type('AudioStream', (), {'__slots__': tuple('abcdefg')})", "KeyError|'__pyx_vtable__'",
     "RuntimeWarning: " + SIZE.format(AudioStream.__basicsize__, 72)),
])
def test_binding_audio_stream_fails_the_import(value, error, warning):
    out = run_ok(BIND_CHILD.replace("{value}", value)).stdout.splitlines()
    assert out == [f"{error}|init tarvex.sound.sound|src/tarvex/sound/sound", warning, "False"]
