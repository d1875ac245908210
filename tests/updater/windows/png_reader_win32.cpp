#include "png_reader_win32.h"

#include <windows.h>
#include <wincodec.h>

#include "platform/text/wide.h"

namespace meridox::gallery {

namespace {

template <typename T>
struct Com {
  T* p = nullptr;
  ~Com() {
    if (p != nullptr) p->Release();
  }
};

}  // namespace

std::optional<Picture> readPng(const std::string& path) {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::optional<Picture> result;
  {
    Com<IWICImagingFactory> factory;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    Com<IWICBitmapSource> converted;
    UINT w = 0, h = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                   reinterpret_cast<void**>(&factory.p))) &&
        SUCCEEDED(factory.p->CreateDecoderFromFilename(veltrano::text::widen(path).c_str(), nullptr, GENERIC_READ,
                                                       WICDecodeMetadataCacheOnDemand, &decoder.p)) &&
        SUCCEEDED(decoder.p->GetFrame(0, &frame.p)) &&
        SUCCEEDED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGR, frame.p, &converted.p)) &&
        SUCCEEDED(converted.p->GetSize(&w, &h))) {
      Picture p{static_cast<int>(w), static_cast<int>(h), std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
      if (SUCCEEDED(converted.p->CopyPixels(nullptr, w * 4, static_cast<UINT>(p.pixels.size() * 4),
                                            reinterpret_cast<BYTE*>(p.pixels.data())))) {
        for (std::uint32_t& px : p.pixels) px &= 0xFFFFFFu;  // blue, green, red bytes: 0x00RRGGBB
        result = std::move(p);
      }
    }
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return result;
}

}  // namespace meridox::gallery
