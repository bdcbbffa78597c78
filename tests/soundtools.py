"""Shared tools of the sound tests: WAV files written by the wave module,
raylib (the library the package ships) through ctypes, and a recorder of
the frames raylib mixes for one sound."""
import array
import ctypes
import time
import wave

import _sound_testhelper as helper
from imagetools import raylib_path

RATE = 48000        # the rate raylib's device runs at, so samples are kept as they are


def tone(frames, channels=2, seed=0):
    """16-bit samples of a sawtooth that differs between channels."""
    return [((i * 37 + c * 1000 + seed * 71) % 20000) - 10000
            for i in range(frames) for c in range(channels)]


def write_wav(path, frames, rate=RATE, width=2, channels=2, seed=0):
    """A PCM WAV file; returns its samples as raylib's 32-bit floats."""
    samples = tone(frames, channels, seed)
    with wave.open(str(path), "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(width)
        w.setframerate(rate)
        if width == 1:
            w.writeframes(bytes((s >> 8) + 128 for s in samples))
        else:
            w.writeframes(array.array("h", samples).tobytes())
    return array.array("f", [s / 32768 for s in samples])


class _Stream(ctypes.Structure):
    _fields_ = [("buffer", ctypes.c_void_p), ("processor", ctypes.c_void_p),
                ("sampleRate", ctypes.c_uint), ("sampleSize", ctypes.c_uint),
                ("channels", ctypes.c_uint)]


def raylib():
    rl = ctypes.CDLL(raylib_path())
    rl.IsAudioDeviceReady.restype = ctypes.c_bool
    rl.AttachAudioStreamProcessor.argtypes = [_Stream, ctypes.c_void_p]
    rl.DetachAudioStreamProcessor.argtypes = [_Stream, ctypes.c_void_p]
    return rl


def record(rl, sound, frames):
    """Plays `sound` and returns the first `frames` stereo frames raylib mixes
    for it (before volume and pan), as bytes of 32-bit floats."""
    f = helper.sound_fields(sound)
    stream = _Stream(f[1], f[2], f[3], f[4], f[5])
    helper.capture_start(frames)
    rl.AttachAudioStreamProcessor(stream, helper.capture_address())
    sound.play()
    deadline = time.monotonic() + 60    # a bound on a hang, not a measurement
    while len(helper.capture_read()) < frames * 8 and time.monotonic() < deadline:
        time.sleep(0.01)
    sound.stop()
    rl.DetachAudioStreamProcessor(stream, helper.capture_address())
    return helper.capture_read()


def played(captured, samples, count=1000):
    """Whether `count` frames of `samples` appear in what was recorded (the
    resampler raylib always runs delays them by a frame or so)."""
    return samples[:2 * count].tobytes() in captured


# Runs in a child interpreter with the device open and a tone on disk.
CHILD_PRELUDE = """
import array, gc, os, tempfile
from soundtools import raylib, record, played, write_wav
from tarvex.sound.sound import Sound
import _sound_testhelper as helper
d = tempfile.mkdtemp()
wav = os.path.join(d, "t.wav")
samples = write_wav(wav, 24000)
rl = raylib()
"""
CHILD_OPEN = CHILD_PRELUDE + """
from tarvex.audio_device.audio_device import AudioDevice
device = AudioDevice().open()
assert device.is_ready and device.owns_device
"""
