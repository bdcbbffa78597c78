"""The C library stand-ins that the wheels' modules carry (linked against an
old glibc, they answer the newer symbols their static C++ runtime needs):
each agrees with glibc's own where the running C library has it."""
import pytest

helper = pytest.importorskip("_libc_compat_testhelper")


@pytest.mark.parametrize("text,base", [
    (b"0b101", 0), (b"0b101", 2), (b"0B11", 0), (b"-0b11", 0), (b"  +0b1z", 2), (b"0b", 0), (b"0b2", 0),
    (b"0b2", 2), (b"0x1f", 0), (b"0x1f", 16), (b"017", 0), (b"42", 10), (b"-1", 10), (b"", 10),
    (b"99999999999999999999999", 10), (b"0b" + b"1" * 70, 0), (b"-0b" + b"1" * 70, 2), (b"zz", 36),
    (b"101", 2), (b"\t\n 7", 8),
])
def test_strtoul_reads_as_glibc_does(text, base):
    ours, glibc = helper.strtoul(text, base)
    if glibc is None:
        pytest.skip("this C library has no __isoc23_strtoul")
    assert ours == glibc


@pytest.mark.parametrize("where", ["helper", "python", "libc", "none"])
def test_find_object_agrees_with_glibc(where):
    ours, glibc = helper.find_object(where)
    if where == "none":
        assert ours is None
    elif glibc is None:
        assert ours is not None and ours[0] < ours[1] and ours[2] != 0
    else:
        # The unwinder reads the unwind table; glibc may end an executable's
        # mapping before its zero-filled data (seen on aarch64).
        assert (ours[0], ours[2]) == (glibc[0], glibc[2])
        assert ours[1] >= glibc[1]


def test_exceptions_unwind_through_the_stand_in():
    assert helper.throw_and_catch() == "unwound"


def test_random_words_vary():
    words = helper.random_words(64)
    assert all(0 <= w < 2**32 for w in words)
    assert len(set(words)) > 60


def test_single_threaded_flag_claims_nothing():
    # Claiming a single thread would let libstdc++ drop atomics under threads.
    assert helper.single_threaded() == 0
