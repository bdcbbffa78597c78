// What the packed array types share that does not depend on the element:
// overflow-checked sizes, reading float buffers shaped (n, k), the
// vector-like and rect-like element forms, masks and per-element numbers
// given as arguments, the result buffers of per-element queries and the
// `out=` buffers that receive them, and the short repr.
//
// Result buffers: a per-element query returns a `memoryview` over a new
// `bytearray`, cast to format "d" (one float64 per element) or "?" (one
// bool per element). numpy views either without copying
// (`numpy.asarray(m)`), and either can be passed back as the `out=` of the
// next query, so a loop that reuses its buffers allocates nothing. No
// further public type is needed.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace tarvex::arr {

// The byte size of n elements of `size` bytes; false with MemoryError when
// it is beyond what an allocation can hold (or n is negative).
bool byte_size(Py_ssize_t n, std::size_t size, std::size_t* out);

// ValueError "<what> has <got> elements, the array <want>": the length
// mismatch of an operand.
bool length_mismatch(const char* what, Py_ssize_t got, Py_ssize_t want);

// ---------------------------------------------------------------------------
// Float buffers shaped (n, k)

// A buffer of float32 or float64 values shaped (n, k), strided or not,
// held while the object lives.
class FloatRows {
 public:
  FloatRows() noexcept = default;
  FloatRows(const FloatRows&) = delete;
  FloatRows& operator=(const FloatRows&) = delete;
  ~FloatRows() {
    if (held_) PyBuffer_Release(&view_);
  }
  // Acquires and checks the buffer of `o`: TypeError for another format,
  // ValueError for another shape. False with the exception set.
  bool acquire(PyObject* o, int k, const char* type_name);
  Py_ssize_t rows() const noexcept { return rows_; }
  // Copies the rows into dst (rows * k floats), rounding float64 values once
  // to float32, as the element types round numbers.
  void copy_to(float* dst) const noexcept;

 private:
  Py_buffer view_{};
  bool held_ = false;
  bool is_double_ = false;
  int k_ = 0;
  Py_ssize_t rows_ = 0;
};

// ---------------------------------------------------------------------------
// Element forms

// The messages of one element form: `kind` names it in the length errors
// ("vector2-like": "tuple for vector2-like argument must have only 2
// elements."), `type_format` is the TypeError for anything else, with one
// %U for the type's __name__.
struct LikeForm {
  const char* kind;
  const char* type_format;
};

// Reads k floats from an exact tuple or list of exactly k items, or from
// any other sequence (made a list by iteration first), each converted as
// float() converts it and rounded to 32 bits. Anything else raises the
// form's TypeError. Callers test their own element type first.
bool read_like(PyObject* o, int k, const LikeForm& form, float* out);

// ---------------------------------------------------------------------------
// Arguments given per element

// A mask argument: a buffer of one-byte truth values ("?", "b" or "B"), one
// dimension of n items, strided or not; or any other iterable of n objects,
// read with bool(). ValueError when the length is not n.
class Mask {
 public:
  Mask() noexcept = default;
  Mask(const Mask&) = delete;
  Mask& operator=(const Mask&) = delete;
  ~Mask() {
    if (held_) PyBuffer_Release(&view_);
  }
  bool acquire(PyObject* o, Py_ssize_t n);
  bool at(Py_ssize_t i) const noexcept { return base_[i * stride_] != 0; }

 private:
  Py_buffer view_{};
  bool held_ = false;
  std::vector<char> own_;
  const char* base_ = nullptr;
  Py_ssize_t stride_ = 1;
};

// A number argument that may also be given per element: a Python number
// (the same for every element), or a buffer of n float64 or float32 values
// in one dimension (strided or not), such as a result buffer or a numpy
// array. ValueError when the length is not n.
class Numbers {
 public:
  Numbers() noexcept = default;
  Numbers(const Numbers&) = delete;
  Numbers& operator=(const Numbers&) = delete;
  ~Numbers() {
    if (held_) PyBuffer_Release(&view_);
  }
  // `o` null (an omitted argument) gives `fallback` for every element.
  bool acquire(PyObject* o, Py_ssize_t n, const char* name, double fallback = 0.0);
  bool per_element() const noexcept { return held_; }
  double single() const noexcept { return single_; }
  // The values as a plain C array, when they are given per element as
  // contiguous float64 (float32) values; else null.
  const double* contiguous_doubles() const noexcept {
    return held_ && is_double_ && stride_ == sizeof(double) ? reinterpret_cast<const double*>(base_)
                                                            : nullptr;
  }
  const float* contiguous_floats() const noexcept {
    return held_ && !is_double_ && stride_ == sizeof(float) ? reinterpret_cast<const float*>(base_)
                                                            : nullptr;
  }
  double at(Py_ssize_t i) const noexcept {
    if (!held_) return single_;
    const char* p = base_ + i * stride_;
    if (is_double_) {
      double d;
      std::memcpy(&d, p, sizeof d);
      return d;
    }
    float f;
    std::memcpy(&f, p, sizeof f);
    return static_cast<double>(f);
  }

 private:
  Py_buffer view_{};
  bool held_ = false;
  bool is_double_ = true;
  double single_ = 0.0;
  const char* base_ = nullptr;
  Py_ssize_t stride_ = 0;
};

// ---------------------------------------------------------------------------
// Results

// The per-element result of a query: a new buffer of n items of `format`
// ('d' or '?'), or the caller's `out` (a writable, C-contiguous buffer of n
// such items; ValueError otherwise, TypeError for another format). `data`
// points at the n items to fill; result() gives the new reference to return.
class Result {
 public:
  Result() noexcept = default;
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  ~Result();
  // `out` is null or None for a new buffer.
  bool acquire(PyObject* out, Py_ssize_t n, char format);
  void* data() const noexcept { return data_; }
  PyObject* result() noexcept;

 private:
  PyObject* object_ = nullptr;  // strong reference: the buffer or `out`
  Py_buffer view_{};
  bool held_ = false;
  void* data_ = nullptr;
};

// ---------------------------------------------------------------------------
// Text

// "<name>([(x, y), ...])": every element for short arrays; the first three,
// "..." and the last one, then ", count=<n>", for longer ones.
PyObject* repr_rows(const char* name, const float* data, Py_ssize_t count, int k);

}  // namespace tarvex::arr
