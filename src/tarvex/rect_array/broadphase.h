// Inside tarvex.rect_array.rect_array: the collision queries over packed
// raylib rectangles, in plain C++ (no Python objects).
//
// Every pair they report is one for which Rect.collide_rect, called on the
// first rectangle with the second as its argument, is true: open edges, the
// receiver's far edges as 32-bit sums widened to 64 bits, the argument's far
// edges as 64-bit sums of its widened values. Negative sizes are used as
// given; a NaN anywhere makes a rectangle collide with nothing.
//
// The pair queries sort the rectangles by their extent on one axis and sweep
// along it, so their work grows as n log n plus the pairs whose extents
// overlap on that axis; the axis is the one along which the rectangles are
// spread most thinly relative to their sizes.
#pragma once

#include <raylib.h>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace tarvex::rect_array {

// A growing run of 64-bit integers on the interpreter's raw allocator (safe
// to use without the GIL held). release() hands the storage to the caller,
// who frees it with PyMem_RawFree.
class Int64Run {
 public:
  Int64Run() = default;
  Int64Run(const Int64Run&) = delete;
  Int64Run& operator=(const Int64Run&) = delete;
  ~Int64Run();

  // Room for `more` further values; false when that cannot be allocated.
  bool reserve_more(std::size_t more) noexcept;
  // Appends after reserve_more made room.
  void push(std::int64_t v) noexcept { data_[size_++] = v; }
  // Keeps the first `size` values, of which those past size() were written
  // through data() into room that reserve_more made.
  void set_size(std::size_t size) noexcept { size_ = size; }
  bool append(std::int64_t v) noexcept {
    if (size_ == cap_ && !reserve_more(1)) return false;
    push(v);
    return true;
  }

  std::int64_t* data() noexcept { return data_; }
  const std::int64_t* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }
  std::int64_t* release() noexcept;
  void swap(Int64Run& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(cap_, other.cap_);
  }

 private:
  std::int64_t* data_ = nullptr;
  std::size_t size_ = 0, cap_ = 0;
};

// collide_rect's test of receiver `a` against argument `b`.
inline bool collide(const Rectangle& a, const Rectangle& b) noexcept {
  const double ax = a.x, ay = a.y;
  const double ar = static_cast<float>(a.x + a.width);
  const double ab = static_cast<float>(a.y + a.height);
  const double bx = b.x, by = b.y;
  return bx + static_cast<double>(b.width) > ax && ar > bx &&
         by + static_cast<double>(b.height) > ay && ab > by;
}

// Indices i (ascending) with collide(probe, r[i]): what probe's
// collide_list_all gives for the rectangles r.
bool collide_one(const Rectangle* r, std::size_t n, const Rectangle& probe, Int64Run& out) noexcept;

// Pairs (i, j), i < j, with collide(r[i], r[j]); appended to `out` as i, j
// in ascending order of i, then j. False when memory ran out, or for 2**32
// rectangles or more (the sweep packs a pair into 64 bits).
bool pairs_within(const Rectangle* r, std::size_t n, Int64Run& out) noexcept;

// Pairs (i, j) with collide(a[i], b[j]), in ascending order of i, then j.
bool pairs_between(const Rectangle* a, std::size_t na, const Rectangle* b, std::size_t nb,
                   Int64Run& out) noexcept;

}  // namespace tarvex::rect_array
