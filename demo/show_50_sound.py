import array
import math
import pathlib
import wave

from tarvex.audio_device.audio_device import AudioDevice
from tarvex.sound.sound import Sound

out = pathlib.Path(__file__).resolve().parent / "out"
out.mkdir(exist_ok=True)

# A 0.5 s, 440 Hz tone, 16-bit mono at 22050 Hz, written with the standard library.
path = out / "tone.wav"
rate = 22050
with wave.open(str(path), "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(array.array("h", (int(12000 * math.sin(2 * math.pi * 440 * i / rate))
                                    for i in range(rate // 2))).tobytes())

# Loading never opens raylib's audio device: the program does, here for the
# rest of the demo. Without a device raylib loads nothing, and the sounds below
# simply come back invalid.
device = AudioDevice().open()
print(f"audio device open: {device.is_ready}, this handle owns it: {device.owns_device}")


def show(name, s):
    print(f"{name:7} valid={s.valid!s:5} alias={s.is_alias!s:5} frames={s.frame_count:<6} "
          f"volume={s.volume} pitch={s.pitch} pan={s.pan} stream={s.stream!r}")


tone = Sound.load(str(path))
echo = Sound.load_alias(tone)
show("tone", tone)
show("alias", echo)

echo.volume = 0.1       # kept as a 32-bit float, as raylib takes it
echo.pitch = 1.5
show("alias", echo)

if tone.valid:
    # Replace the first 0.1 s with silence (raylib keeps 32-bit float stereo frames).
    frames = tone.frame_count // 5
    tone.update(bytes(8 * frames), frames)
    echo.play()
    print(f"alias playing after play(): {echo.playing}")

# Unloading the source leaves its aliases their samples.
tone.unload()
show("tone", tone)
show("alias", echo)
# Closing the device releases the sounds still loaded: raylib's mixer goes
# with it.
device.close()
show("alias", echo)
print(f"tone written to {path}")
