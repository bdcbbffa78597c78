// Inside tarvex.rect_array.rect_array: the sort-and-sweep collision queries
// (see broadphase.h).
#include "tarvex/rect_array/broadphase.h"

#include <Python.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tarvex::rect_array {

// ---------------------------------------------------------------------------
// Storage

namespace {

// At most this many values, so that byte counts never overflow Py_ssize_t.
constexpr std::size_t kMaxValues = static_cast<std::size_t>(PY_SSIZE_T_MAX) / sizeof(std::int64_t);

// A fixed scratch array on the raw allocator, freed on scope exit.
template <class T>
class Scratch {
 public:
  explicit Scratch(std::size_t n) noexcept
      : data_(n <= static_cast<std::size_t>(PY_SSIZE_T_MAX) / sizeof(T)
                  ? static_cast<T*>(PyMem_RawMalloc(n ? n * sizeof(T) : 1))
                  : nullptr) {}
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() { PyMem_RawFree(data_); }
  explicit operator bool() const noexcept { return data_ != nullptr; }
  T& operator[](std::size_t i) noexcept { return data_[i]; }
  T* get() noexcept { return data_; }

 private:
  T* data_;
};

}  // namespace

Int64Run::~Int64Run() { PyMem_RawFree(data_); }

bool Int64Run::reserve_more(std::size_t more) noexcept {
  if (more <= cap_ - size_) return true;
  if (more > kMaxValues - size_) return false;
  std::size_t cap = std::max(size_ + more, cap_ < 32 ? std::size_t{32} : cap_ + cap_ / 2);
  cap = std::min(cap, kMaxValues);
  auto* grown = static_cast<std::int64_t*>(PyMem_RawRealloc(data_, cap * sizeof(std::int64_t)));
  if (!grown) return false;
  data_ = grown;
  cap_ = cap;
  return true;
}

std::int64_t* Int64Run::release() noexcept {
  std::int64_t* out = data_;
  data_ = nullptr;
  size_ = cap_ = 0;
  return out;
}

// ---------------------------------------------------------------------------
// One rectangle against many

bool collide_one(const Rectangle* r, std::size_t n, const Rectangle& probe, Int64Run& out) noexcept {
  // Written without a branch per element: each index is stored, and kept
  // when its rectangle collides.
  constexpr std::size_t kChunk = 4096;
  for (std::size_t start = 0; start < n; start += kChunk) {
    const std::size_t end = std::min(n, start + kChunk);
    if (!out.reserve_more(end - start)) return false;
    std::int64_t* d = out.data();
    std::size_t k = out.size();
    for (std::size_t i = start; i < end; ++i) {
      d[k] = static_cast<std::int64_t>(i);
      k += collide(probe, r[i]) ? 1 : 0;
    }
    out.set_size(k);
  }
  return true;
}

// ---------------------------------------------------------------------------
// The sweep

namespace {

// A rectangle as the sweep sees it: its extent [lo, hi] on the sweep axis,
// which holds its near edge and both sums that can be its far edge, and the
// values collide() compares.
struct Box {
  double lo, hi;
  double x, y;
  double right32, bottom32;  // far edges as the receiver
  double right64, bottom64;  // far edges as the argument
  std::int64_t index;
};

// collide() on prepared boxes: `a` the receiver, `b` the argument.
inline bool hit(const Box& a, const Box& b) noexcept {
  return (b.right64 > a.x) & (a.right32 > b.x) & (b.bottom64 > a.y) & (a.bottom32 > b.y);
}

// Fills `box` from r, false when a NaN makes it collide with nothing. When
// two boxes collide, their extents on each axis overlap (closed), which is
// all the sweep relies on.
bool prepare(const Rectangle& r, std::int64_t index, Box* box) noexcept {
  box->x = r.x;
  box->y = r.y;
  box->right32 = static_cast<float>(r.x + r.width);
  box->bottom32 = static_cast<float>(r.y + r.height);
  box->right64 = box->x + static_cast<double>(r.width);
  box->bottom64 = box->y + static_cast<double>(r.height);
  box->index = index;
  return !(std::isnan(box->right32) || std::isnan(box->bottom32) || std::isnan(box->right64) ||
           std::isnan(box->bottom64));
}

void set_extent(Box* b, bool along_x) noexcept {
  const double near = along_x ? b->x : b->y;
  const double f32 = along_x ? b->right32 : b->bottom32;
  const double f64 = along_x ? b->right64 : b->bottom64;
  b->lo = std::min({near, f32, f64});
  b->hi = std::max({near, f32, f64});
}

// How thinly the boxes are spread along one axis: their mean extent over
// the span they cover (smaller is better for sweeping along it).
struct Spread {
  double extent = 0.0;
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  void add(double near, double far) noexcept {
    const double a = std::min(near, far), b = std::max(near, far);
    extent += b - a;
    lo = std::min(lo, a);
    hi = std::max(hi, b);
  }
  double ratio() const noexcept { return extent / (hi - lo); }
};

// The valid boxes of `r` appended to `boxes` from position `at`; returns the
// new count.
std::size_t load(const Rectangle* r, std::size_t n, Box* boxes, std::size_t at, Spread* sx,
                 Spread* sy) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    Box& b = boxes[at];
    if (!prepare(r[i], static_cast<std::int64_t>(i), &b)) continue;
    sx->add(b.x, b.right64);
    sy->add(b.y, b.bottom64);
    ++at;
  }
  return at;
}

void sort_boxes(Box* first, Box* last, bool along_x) noexcept {
  for (Box* b = first; b != last; ++b) set_extent(b, along_x);
  std::sort(first, last, [](const Box& a, const Box& b) { return a.lo < b.lo; });
}

// Orders the pairs in `raw` (i, j interleaved, i < n) by i, then j, into
// `out`: a counting sort on i, then each run of one i sorted by j.
bool ordered(const Int64Run& raw, std::size_t n, Int64Run& out) noexcept {
  const std::size_t count = raw.size() / 2;
  if (count == 0) return true;
  Scratch<std::size_t> start(n + 1);
  Scratch<std::int64_t> js(count);
  if (!start || !js || !out.reserve_more(raw.size())) return false;
  std::memset(start.get(), 0, (n + 1) * sizeof(std::size_t));
  const std::int64_t* p = raw.data();
  for (std::size_t k = 0; k < count; ++k) ++start[static_cast<std::size_t>(p[2 * k]) + 1];
  for (std::size_t i = 0; i < n; ++i) start[i + 1] += start[i];
  // start[i] is where run i begins; fill moves it to where the run ends.
  for (std::size_t k = 0; k < count; ++k) js[start[static_cast<std::size_t>(p[2 * k])]++] = p[2 * k + 1];
  std::size_t from = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t to = start[i];
    std::sort(js.get() + from, js.get() + to);
    for (std::size_t k = from; k < to; ++k) {
      out.push(static_cast<std::int64_t>(i));
      out.push(js[k]);
    }
    from = to;
  }
  return true;
}

}  // namespace

bool pairs_within(const Rectangle* r, std::size_t n, Int64Run& out) noexcept {
  Scratch<Box> boxes(n);
  if (!boxes) return false;
  Spread sx, sy;
  const std::size_t m = load(r, n, boxes.get(), 0, &sx, &sy);
  sort_boxes(boxes.get(), boxes.get() + m, !(sy.ratio() < sx.ratio()));
  Int64Run raw;
  for (std::size_t k = 0; k < m; ++k) {
    const Box& p = boxes[k];
    for (std::size_t q = k + 1; q < m && boxes[q].lo <= p.hi; ++q) {
      const Box& o = boxes[q];
      const bool first = p.index < o.index;
      if (first ? hit(p, o) : hit(o, p)) {
        if (!raw.reserve_more(2)) return false;
        raw.push(first ? p.index : o.index);
        raw.push(first ? o.index : p.index);
      }
    }
  }
  return ordered(raw, n, out);
}

bool pairs_between(const Rectangle* a, std::size_t na, const Rectangle* b, std::size_t nb,
                   Int64Run& out) noexcept {
  if (na > std::numeric_limits<std::size_t>::max() - nb) return false;
  Scratch<Box> boxes(na + nb);
  if (!boxes) return false;
  Spread sx, sy;
  const std::size_t ma = load(a, na, boxes.get(), 0, &sx, &sy);
  const std::size_t end = load(b, nb, boxes.get(), ma, &sx, &sy);
  const bool along_x = !(sy.ratio() < sx.ratio());
  Box* const A = boxes.get();
  Box* const B = boxes.get() + ma;
  const std::size_t mb = end - ma;
  sort_boxes(A, A + ma, along_x);
  sort_boxes(B, B + mb, along_x);
  // The box with the lower start meets every later-starting box of the
  // other array whose start it covers; ties go to a, so each pair is met
  // exactly once.
  Int64Run raw;
  std::size_t ia = 0, ib = 0;
  const auto add = [&raw](const Box& ra, const Box& rb) {
    if (!hit(ra, rb)) return true;
    if (!raw.reserve_more(2)) return false;
    raw.push(ra.index);
    raw.push(rb.index);
    return true;
  };
  while (ia < ma && ib < mb) {
    if (A[ia].lo <= B[ib].lo) {
      const Box& p = A[ia++];
      for (std::size_t q = ib; q < mb && B[q].lo <= p.hi; ++q)
        if (!add(p, B[q])) return false;
    } else {
      const Box& p = B[ib++];
      for (std::size_t q = ia; q < ma && A[q].lo <= p.hi; ++q)
        if (!add(A[q], p)) return false;
    }
  }
  return ordered(raw, na, out);
}

}  // namespace tarvex::rect_array
