// memset and memcpy for the page, in place of the C library's: on large
// spans (a frame's clear, a row copied from a pattern) the engine's own
// memory.fill and memory.copy run at native speed, where the library fills
// in wasm and hands big copies to JavaScript. Built with bulk memory and
// without builtins, so the short loops stay loops.
#include <cstddef>
#include <cstdint>

namespace {
// Below this, a call into the engine costs more than the loop.
constexpr size_t kEngineFrom = 64;
}  // namespace

extern "C" void* memset(void* dest, int value, size_t count) {
  if (count >= kEngineFrom) {
    __builtin_memset(dest, value, count);
    return dest;
  }
  auto* out = static_cast<uint8_t*>(dest);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(value);
  return dest;
}

extern "C" void* memcpy(void* __restrict dest, const void* __restrict source, size_t count) {
  if (count >= kEngineFrom) {
    __builtin_memcpy(dest, source, count);
    return dest;
  }
  auto* out = static_cast<uint8_t*>(dest);
  const auto* in = static_cast<const uint8_t*>(source);
  for (size_t i = 0; i < count; ++i) out[i] = in[i];
  return dest;
}
