// Pictures through OLE's OleLoadPicture (oleaut32, a system DLL).
#include "platform/win32/picture.h"

#include <ole2.h>
#include <olectl.h>

namespace platform::win32 {

Picture::~Picture() {
  if (picture_)
    picture_->Release();
}

Picture::Picture(Picture &&other) noexcept : picture_(other.picture_) {
  other.picture_ = nullptr;
}

Picture &Picture::operator=(Picture &&other) noexcept {
  if (this != &other) {
    if (picture_)
      picture_->Release();
    picture_ = other.picture_;
    other.picture_ = nullptr;
  }
  return *this;
}

Picture Picture::FromBytes(const void *bytes, size_t size) {
  // A stream of its own memory, the bytes written into it: no global
  // memory handles of ours to allocate, lock and free. The result is made
  // last, so that no object of ours lives across the stream's calls.
  IPicture *loaded = nullptr;
  IStream *stream = nullptr;
  if (bytes && size != 0 && size <= 0x7FFFFFFF &&
      SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream))) {
    ULONG written = 0;
    void *picture = nullptr;
    if (SUCCEEDED(stream->Write(bytes, static_cast<ULONG>(size), &written)) &&
        written == size &&
        SUCCEEDED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr)) &&
        SUCCEEDED(::OleLoadPicture(stream, static_cast<LONG>(size), FALSE,
                                   IID_IPicture, &picture)))
      loaded = static_cast<IPicture *>(picture);
    stream->Release();
  }
  Picture result;
  result.picture_ = loaded;
  return result;
}

Picture Picture::FromResource(HMODULE module, int id) {
  HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id),
                               MAKEINTRESOURCEW(10)); // RT_RCDATA
  if (!info)
    return {};
  HGLOBAL loaded = ::LoadResource(module, info); // not to be freed
  const void *bytes = loaded ? ::LockResource(loaded) : nullptr;
  return FromBytes(bytes, ::SizeofResource(module, info));
}

SIZE Picture::PixelSize(int dpi) const {
  SIZE size{};
  if (!picture_)
    return size;
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  picture_->get_Width(&width);
  picture_->get_Height(&height);
  // HIMETRIC: hundredths of a millimetre, 2540 to the inch.
  size.cx = ::MulDiv(width, dpi, 2540);
  size.cy = ::MulDiv(height, dpi, 2540);
  return size;
}

bool Picture::Transparent() const {
  DWORD attributes = 0;
  return picture_ && SUCCEEDED(picture_->get_Attributes(&attributes)) &&
         (attributes & PICTURE_TRANSPARENT);
}

void Picture::Draw(HDC dc, int x, int y, int dpi) const {
  if (!picture_)
    return;
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  picture_->get_Width(&width);
  picture_->get_Height(&height);
  const SIZE pixels = PixelSize(dpi);
  // The source rectangle runs bottom-up in HIMETRIC.
  picture_->Render(dc, x, y, pixels.cx, pixels.cy, 0, height, width, -height,
                   nullptr);
}

} // namespace platform::win32
