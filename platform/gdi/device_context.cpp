#include "platform/gdi/device_context.h"

#include <map>
#include <mutex>

namespace veltrano::gdi {

namespace {
constexpr Hdc kFirstHdc = 0x00C0'0010;
struct Handles {
  std::mutex lock;
  Hdc next = kFirstHdc;
  std::map<Hdc, Surface*> surfaces;
};
Handles& handles() {
  static Handles h;
  return h;
}
}  // namespace

Surface* surfaceFromHdc(Hdc hdc) {
  auto& h = handles();
  std::lock_guard guard(h.lock);
  auto it = h.surfaces.find(hdc);
  return it == h.surfaces.end() ? nullptr : it->second;
}

Hdc registerSurface(Surface* surface) {
  auto& h = handles();
  std::lock_guard guard(h.lock);
  // Handles stay positive Longs; after the last one numbering starts again, past handles
  // still in use.
  auto advance = [](Hdc x) -> Hdc { return x >= 0x7FFF'FFF0u ? kFirstHdc : x + 4; };
  Hdc hdc = h.next;
  while (h.surfaces.count(hdc) != 0) hdc = advance(hdc);
  h.next = advance(hdc);
  h.surfaces[hdc] = surface;
  return hdc;
}

void unregisterSurface(Hdc hdc) {
  auto& h = handles();
  std::lock_guard guard(h.lock);
  h.surfaces.erase(hdc);
}

bool GradientFill(Hdc hdc, const TriVertex* vertices, std::uint32_t vertexCount,
                  const GradientRect* meshes, std::uint32_t meshCount, std::uint32_t mode) {
  Surface* s = surfaceFromHdc(hdc);
  return s != nullptr && s->gradientFill(vertices, vertexCount, meshes, meshCount, mode);
}

int SetDIBitsToDevice(Hdc hdc, int xDest, int yDest, int width, int height, int xSrc, int ySrc,
                      std::uint32_t startScan, std::uint32_t scanLines, const void* bits,
                      const BitmapInfoHeader& header, std::uint32_t colourUse) {
  Surface* s = surfaceFromHdc(hdc);
  if (s == nullptr) return 0;
  return s->setDIBitsToDevice(xDest, yDest, width, height, xSrc, ySrc, startScan, scanLines, bits,
                              header, colourUse);
}

}  // namespace veltrano::gdi
