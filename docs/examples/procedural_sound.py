"""A procedural sound: a short chirp synthesised with the standard library,
written as WAV, loaded and played through raylib's audio device, with an
alias that plays the same samples at another pitch."""
import array
import math
import wave

from tarvex.audio_device.audio_device import AudioDevice
from tarvex.sound.sound import Sound

RATE = 22050
samples = array.array("h", (
    int(9000 * math.sin(2 * math.pi * (300 + 600 * i / RATE) * i / RATE))
    for i in range(RATE // 4)))                     # a quarter of a second
with wave.open("chirp.wav", "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(RATE)
    w.writeframes(samples.tobytes())

with AudioDevice() as device:                       # opened here, closed at the end
    print("device ready:", device.is_ready)
    chirp = Sound.load("chirp.wav")
    high = Sound.load_alias(chirp)                  # same samples, own settings
    high.pitch = 1.5
    high.volume = 0.5
    chirp.play()
    high.play()
    print("valid:", chirp.valid, high.valid, "playing:", chirp.playing, high.playing)
    chirp.stop()
    high.stop()
print("device ready after the block:", device.is_ready)
