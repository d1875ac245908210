#include "platform/gdi/png_file_win32.h"

#include <windows.h>
#include <wincodec.h>

#include <vector>

#include "platform/text/wide.h"

namespace veltrano::gdi {

namespace {

// Releases a COM interface pointer at the end of a scope.
template <typename T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p != nullptr) p->Release();
  }
  T** out() { return &p; }
  T* operator->() const { return p; }
};

// COM for this thread for one call; a thread already in another apartment keeps it.
struct ComScope {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ~ComScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
};

}  // namespace

bool writePngFile(const std::string& utf8Path, int width, int height, const std::uint32_t* pixels) {
  if (width <= 0 || height <= 0 || pixels == nullptr) return false;
  ComScope com;
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(factory.out()))))
    return false;
  ComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromFilename(text::widen(utf8Path).c_str(), GENERIC_WRITE)))
    return false;
  ComPtr<IWICBitmapEncoder> encoder;
  if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) ||
      FAILED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)))
    return false;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  if (FAILED(encoder->CreateNewFrame(frame.out(), options.out())) || FAILED(frame->Initialize(options.p)) ||
      FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))))
    return false;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) return false;

  // Rows of blue, green, red bytes, as the 24-bit format takes them.
  const UINT stride = static_cast<UINT>(width) * 3;
  std::vector<BYTE> rows(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  for (std::size_t i = 0, n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height); i < n; ++i) {
    rows[3 * i] = static_cast<BYTE>(pixels[i] & 0xFF);
    rows[3 * i + 1] = static_cast<BYTE>((pixels[i] >> 8) & 0xFF);
    rows[3 * i + 2] = static_cast<BYTE>((pixels[i] >> 16) & 0xFF);
  }
  return SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), stride, static_cast<UINT>(rows.size()), rows.data())) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace veltrano::gdi
