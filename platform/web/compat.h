// The web lane's compiler (Debian's Emscripten) ships a C++ library older
// than the C++20 the system is written in. This header, given to every file
// of that lane on the command line, supplies the two pieces the system
// uses that it lacks, std::bit_cast and std::atomic_ref, over the
// compiler's own builtins. Pages run one thread, so a wait that would block
// only yields.
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <version>

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From), "bit_cast between types of one size");
  return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif

#if !defined(__cpp_lib_atomic_ref)
namespace std {
template <class T>
class atomic_ref {
 public:
  explicit atomic_ref(T& object) noexcept : p_(&object) {}
  atomic_ref(const atomic_ref&) noexcept = default;
  atomic_ref& operator=(const atomic_ref&) = delete;

  T load(memory_order order = memory_order_seq_cst) const noexcept { return __atomic_load_n(p_, Order(order)); }
  void store(T value, memory_order order = memory_order_seq_cst) const noexcept {
    __atomic_store_n(p_, value, Order(order));
  }
  T exchange(T value, memory_order order = memory_order_seq_cst) const noexcept {
    return __atomic_exchange_n(p_, value, Order(order));
  }
  bool compare_exchange_weak(T& expected, T desired, memory_order order = memory_order_seq_cst) const noexcept {
    return __atomic_compare_exchange_n(p_, &expected, desired, true, Order(order), Failure(order));
  }
  bool compare_exchange_strong(T& expected, T desired, memory_order order = memory_order_seq_cst) const noexcept {
    return __atomic_compare_exchange_n(p_, &expected, desired, false, Order(order), Failure(order));
  }
  T fetch_add(T value, memory_order order = memory_order_seq_cst) const noexcept {
    return __atomic_fetch_add(p_, value, Order(order));
  }
  T fetch_sub(T value, memory_order order = memory_order_seq_cst) const noexcept {
    return __atomic_fetch_sub(p_, value, Order(order));
  }
  operator T() const noexcept { return load(); }
  // One thread: nothing else can change the word while this one waits.
  void wait(T, memory_order = memory_order_seq_cst) const noexcept {}
  void notify_one() const noexcept {}
  void notify_all() const noexcept {}

 private:
  static constexpr int Order(memory_order order) {
    switch (order) {
      case memory_order_relaxed: return __ATOMIC_RELAXED;
      case memory_order_consume: return __ATOMIC_CONSUME;
      case memory_order_acquire: return __ATOMIC_ACQUIRE;
      case memory_order_release: return __ATOMIC_RELEASE;
      case memory_order_acq_rel: return __ATOMIC_ACQ_REL;
      default: return __ATOMIC_SEQ_CST;
    }
  }
  static constexpr int Failure(memory_order order) {
    return order == memory_order_release ? __ATOMIC_RELAXED
           : order == memory_order_acq_rel ? __ATOMIC_ACQUIRE
                                           : Order(order);
  }
  T* p_;
};
}  // namespace std
#endif
