// Inside tarvex.rect_array.rect_array: the sort-and-sweep collision queries
// (see broadphase.h).
#include "tarvex/rect_array/broadphase.h"

#include <Python.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tarvex/_runtime/convert.h"

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
  const T& operator[](std::size_t i) const noexcept { return data_[i]; }
  T* get() noexcept { return data_; }
  const T* get() const noexcept { return data_; }

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

bool collide_one(const Rectangle* r, std::size_t n, const Rectangle& probe,
                 Int64Run& out) noexcept {
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

// A rectangle as collide() compares it, widened once.
struct Box {
  double x, y;
  double right32, bottom32;  // far edges as the receiver
  double right64, bottom64;  // far edges as the argument
  std::int64_t index;
};

// collide() on prepared boxes: `a` the receiver, `b` the argument.
inline bool hit(const Box& a, const Box& b) noexcept {
  return (b.right64 > a.x) & (a.right32 > b.x) & (b.bottom64 > a.y) & (a.bottom32 > b.y);
}

// Fills `box` from r, false when a NaN makes it collide with nothing.
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

// The closed extent of a box on one axis: its near edge and both sums that
// can be its far edge. When two boxes collide, their extents overlap on
// both axes, which is all the sweep relies on.
inline void extent(const Box& b, bool along_x, double* lo, double* hi) noexcept {
  const double near = along_x ? b.x : b.y;
  const double f32 = along_x ? b.right32 : b.bottom32;
  const double f64 = along_x ? b.right64 : b.bottom64;
  *lo = std::min({near, f32, f64});
  *hi = std::max({near, f32, f64});
}

// The float at or below d, and at or above it: the scan compares extents
// widened outwards to 32 bits, four at a time.
inline float down(double d) noexcept {
  const float f = rt::narrow(d);
  return static_cast<double>(f) > d ? std::nextafter(f, -std::numeric_limits<float>::infinity())
                                    : f;
}
inline float up(double d) noexcept {
  const float f = rt::narrow(d);
  return static_cast<double>(f) < d ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
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

// The valid boxes of one array sorted by where their extent on the sweep
// axis starts, with the extents on both axes (widened to floats) kept apart
// so that the scan of the candidates reads them densely. The extents run
// kPad entries past the last box, where a NaN start ends every scan.
class Swept {
 public:
  static constexpr std::size_t kPad = 4;
  explicit Swept(std::size_t n) noexcept
      : boxes_(n), lo_(n + kPad), hi_(n + kPad), olo_(n + kPad), ohi_(n + kPad), key_(n) {}
  explicit operator bool() const noexcept { return boxes_ && lo_ && hi_ && olo_ && ohi_ && key_; }

  // Takes note of the valid rectangles of r, which must stay put until
  // sort() has run.
  void load(const Rectangle* r, std::size_t n, Spread* sx, Spread* sy) noexcept {
    r_ = r;
    for (std::size_t i = 0; i < n; ++i) {
      Box b;
      if (!prepare(r[i], static_cast<std::int64_t>(i), &b)) continue;
      sx->add(b.x, b.right64);
      sy->add(b.y, b.bottom64);
      key_[m_++].at = i;
    }
  }

  void sort(bool along_x) noexcept {
    for (std::size_t k = 0; k < m_; ++k) {
      Box b;
      double hi;
      prepare(r_[key_[k].at], 0, &b);
      extent(b, along_x, &key_[k].lo, &hi);
    }
    std::sort(key_.get(), key_.get() + m_, [](const Key& a, const Key& b) { return a.lo < b.lo; });
    for (std::size_t k = 0; k < m_; ++k) {
      Box& b = boxes_[k];
      prepare(r_[key_[k].at], static_cast<std::int64_t>(key_[k].at), &b);
      double lo, hi;
      extent(b, along_x, &lo, &hi);
      lo_[k] = down(lo);
      hi_[k] = up(hi);
      extent(b, !along_x, &lo, &hi);
      olo_[k] = down(lo);
      ohi_[k] = up(hi);
    }
    for (std::size_t k = m_; k < m_ + kPad; ++k) {
      lo_[k] = std::numeric_limits<float>::quiet_NaN();
      hi_[k] = olo_[k] = ohi_[k] = 0.0f;
    }
  }

  std::size_t size() const noexcept { return m_; }
  const Box& box(std::size_t k) const noexcept { return boxes_[k]; }
  float lo(std::size_t k) const noexcept { return lo_[k]; }

  // The positions q from `from` on whose sweep extent starts at or before
  // that of box k of `s` ends and whose other extent meets its own, into
  // cand (room for size() positions); returns how many.
  std::size_t candidates(std::size_t from, const Swept& s, std::size_t k,
                         std::size_t* cand) const noexcept {
    std::size_t c = 0;
#if defined(__SSE2__)
    // The starts are sorted, so the boxes within reach are the leading run
    // of a block; the scan ends with the first block that has one out.
    const __m128 hi = _mm_set1_ps(s.hi_[k]), olo = _mm_set1_ps(s.olo_[k]),
                 ohi = _mm_set1_ps(s.ohi_[k]);
    for (std::size_t q = from;; q += 4) {
      const int within = _mm_movemask_ps(_mm_cmple_ps(_mm_loadu_ps(lo_.get() + q), hi));
      int meet =
          within & _mm_movemask_ps(_mm_and_ps(_mm_cmple_ps(_mm_loadu_ps(olo_.get() + q), ohi),
                                              _mm_cmpge_ps(_mm_loadu_ps(ohi_.get() + q), olo)));
      for (; meet; meet &= meet - 1) cand[c++] = q + static_cast<std::size_t>(__builtin_ctz(meet));
      if (within != 0xF) break;
    }
#else
    const float hi = s.hi_[k], olo = s.olo_[k], ohi = s.ohi_[k];
    for (std::size_t q = from; q < m_ && lo_[q] <= hi; ++q) {
      cand[c] = q;
      c += (olo_[q] <= ohi) & (ohi_[q] >= olo);
    }
#endif
    return c;
  }

 private:
  struct Key {
    double lo;
    std::size_t at;
  };
  const Rectangle* r_ = nullptr;
  Scratch<Box> boxes_;
  Scratch<float> lo_, hi_, olo_, ohi_;
  Scratch<Key> key_;
  std::size_t m_ = 0;
};

// A found pair while the sweep runs: i in the high half, j in the low one,
// so that the keys order as the pairs do.
inline std::int64_t pair_key(std::int64_t i, std::int64_t j) noexcept {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(i) << 32) |
                                   static_cast<std::uint64_t>(j));
}
constexpr std::size_t kMaxSweep = std::size_t{1} << 32;

// Appends the key of the pair (a.index, b.index) when a collides with b,
// after reserve_more made room.
inline void add_if_hit(const Box& a, const Box& b, Int64Run& raw) noexcept {
  if (hit(a, b)) raw.push(pair_key(a.index, b.index));
}

// One stable counting pass over keys by their high (`high`) or low half,
// each below n.
bool counting_pass(const std::int64_t* in, std::size_t count, std::size_t n, bool high,
                   std::int64_t* out) noexcept {
  Scratch<std::size_t> start(n + 1);
  if (!start) return false;
  std::memset(start.get(), 0, (n + 1) * sizeof(std::size_t));
  const auto digit = [high](std::int64_t key) {
    const auto u = static_cast<std::uint64_t>(key);
    return static_cast<std::size_t>(high ? u >> 32 : u & 0xffffffffu);
  };
  for (std::size_t k = 0; k < count; ++k) ++start[digit(in[k]) + 1];
  for (std::size_t i = 0; i < n; ++i) start[i + 1] += start[i];
  for (std::size_t k = 0; k < count; ++k) out[start[digit(in[k])]++] = in[k];
  return true;
}

// Sorts the keys in `raw` (i below ni, j below nj), a stable pass by j then
// one by i, and appends them to `out` as pairs i, j.
bool ordered(Int64Run& raw, std::size_t ni, std::size_t nj, Int64Run& out) noexcept {
  const std::size_t count = raw.size();
  if (count == 0) return true;
  Scratch<std::int64_t> by_j(count);
  if (!by_j || !counting_pass(raw.data(), count, nj, false, by_j.get()) ||
      !counting_pass(by_j.get(), count, ni, true, raw.data()) || !out.reserve_more(2 * count))
    return false;
  std::int64_t* d = out.data() + out.size();
  for (std::size_t k = 0; k < count; ++k) {
    const auto u = static_cast<std::uint64_t>(raw.data()[k]);
    d[2 * k] = static_cast<std::int64_t>(u >> 32);
    d[2 * k + 1] = static_cast<std::int64_t>(u & 0xffffffffu);
  }
  out.set_size(out.size() + 2 * count);
  return true;
}

}  // namespace

bool pairs_within(const Rectangle* r, std::size_t n, Int64Run& out) noexcept {
  if (n >= kMaxSweep) return false;
  Swept s(n);
  Scratch<std::size_t> cand(n);
  if (!s || !cand) return false;
  Spread sx, sy;
  s.load(r, n, &sx, &sy);
  s.sort(!(sy.ratio() < sx.ratio()));
  Int64Run raw;
  for (std::size_t k = 0; k < s.size(); ++k) {
    const Box& p = s.box(k);
    const std::size_t c = s.candidates(k + 1, s, k, cand.get());
    if (!raw.reserve_more(c)) return false;
    for (std::size_t t = 0; t < c; ++t) {
      // The pair in index order: the lower index is the receiver.
      const Box& o = s.box(cand[t]);
      const bool first = p.index < o.index;
      const Box& a = first ? p : o;
      const Box& b = first ? o : p;
      if (hit(a, b)) raw.push(pair_key(a.index, b.index));
    }
  }
  return ordered(raw, n, n, out);
}

bool pairs_between(const Rectangle* a, std::size_t na, const Rectangle* b, std::size_t nb,
                   Int64Run& out) noexcept {
  if (na >= kMaxSweep || nb >= kMaxSweep) return false;
  Swept sa(na), sb(nb);
  Scratch<std::size_t> cand(std::max(na, nb));
  if (!sa || !sb || !cand) return false;
  Spread sx, sy;
  sa.load(a, na, &sx, &sy);
  sb.load(b, nb, &sx, &sy);
  const bool along_x = !(sy.ratio() < sx.ratio());
  sa.sort(along_x);
  sb.sort(along_x);
  // The box with the lower start meets every later-starting box of the
  // other array whose start it covers; ties go to a, so each pair is met
  // exactly once.
  Int64Run raw;
  std::size_t ia = 0, ib = 0;
  while (ia < sa.size() && ib < sb.size()) {
    if (sa.lo(ia) <= sb.lo(ib)) {
      const std::size_t c = sb.candidates(ib, sa, ia, cand.get());
      if (!raw.reserve_more(c)) return false;
      for (std::size_t t = 0; t < c; ++t) add_if_hit(sa.box(ia), sb.box(cand[t]), raw);
      ++ia;
    } else {
      const std::size_t c = sa.candidates(ia, sb, ib, cand.get());
      if (!raw.reserve_more(c)) return false;
      for (std::size_t t = 0; t < c; ++t) add_if_hit(sa.box(cand[t]), sb.box(ib), raw);
      ++ib;
    }
  }
  return ordered(raw, na, nb, out);
}

}  // namespace tarvex::rect_array
