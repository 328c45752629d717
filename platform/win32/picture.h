// A picture decoded by OLE from GIF (or BMP, JPEG, ICO) bytes, drawn at its
// natural size with its transparent colour left out.
#pragma once

#include <cstddef>

#include "platform/win32/windows_support.h"

struct IPicture;

namespace platform::win32 {

class Picture {
public:
  Picture() = default;
  ~Picture();
  Picture(Picture &&other) noexcept;
  Picture &operator=(Picture &&other) noexcept;
  Picture(const Picture &) = delete;
  Picture &operator=(const Picture &) = delete;

  // Decodes bytes; an empty Picture when they are no picture. COM must be
  // initialised on the calling thread.
  static Picture FromBytes(const void *bytes, size_t size);
  // The RCDATA resource id of module; an empty Picture when it is missing.
  static Picture FromResource(HMODULE module, int id);

  explicit operator bool() const { return picture_ != nullptr; }
  // Size in pixels at the given dots per inch (the natural size of a
  // bitmap at the screen's dots per inch).
  SIZE PixelSize(int dpi) const;
  // True when the picture has a transparent colour.
  bool Transparent() const;
  // Draws the picture at its natural size with its top-left corner at x, y.
  void Draw(HDC dc, int x, int y, int dpi) const;

private:
  IPicture *picture_ = nullptr;
};

} // namespace platform::win32
