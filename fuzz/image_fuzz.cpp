// Fuzz target: the program images and icon files that `updpack build` is
// handed (--stub, --icon) and `verify` reads. The first byte's low bit
// chooses: 0 the rest is a program image: its headers are read as a
// package's start is (the end of the image, a certificate table that ends
// the file or not), its certificate entry cleared as build clears it (the
// table then gone, nothing else changed), its resources read (each inside
// the image) and, when they write back, read again the same (a tree that
// names a type, name and language twice keeps one); 1 the rest is
// an icon file: read as --icon reads it, its images are inside the file,
// and put into a program image they come back as its group directory keeps
// them.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzz/harness.h"
#include "package/byte_source.h"
#include "package/coding.h"
#include "package/pe_image.h"
#include "tools/cli.h"
#include "tools/icon_file.h"
#include "tools/pe_resources.h"
#include "tools/program_icon.h"
#include "tools/stub.h"

namespace {

namespace pe = package::pe;
using fuzzing::Fail;

// A PE32+ image with one section of 0x200 bytes at 0x1000 (file offset
// 0x400) and no resources, as the program's image is laid out.
std::string ImageWithASection() {
  std::string image(0x600, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  const size_t coff = 0x80 + 4;
  const size_t optional = coff + pe::kCoffHeaderSize;
  const size_t section = optional + 240;
  const auto put = [&](size_t at, uint32_t value, int size) {
    package::WriteLE(image, at, value, size);
  };
  put(pe::kDosLfanewOffset, 0x80, 4);
  put(0x80, pe::kPeSignature, 4);
  put(coff, pe::kMachineAmd64, 2);
  put(coff + pe::kNumberOfSectionsOffset, 1, 2);
  put(coff + pe::kSizeOfOptionalHeaderOffset, 240, 2);
  put(optional, pe::kPe32PlusMagic, 2);
  put(optional + 32, 0x1000, 4); // section alignment
  put(optional + 36, 0x200, 4);  // file alignment
  put(optional + 56, 0x2000, 4); // size of the image
  put(optional + pe::kSizeOfHeadersOffset, 0x400, 4);
  put(optional + pe::kNumberOfRvaAndSizesPe32Plus, 16, 4);
  image.replace(section, 5, ".text");
  put(section + 8, 0x1F0, 4);
  put(section + 12, 0x1000, 4);
  put(section + pe::kSectionSizeOfRawData, 0x200, 4);
  put(section + pe::kSectionPointerToRawData, 0x400, 4);
  put(section + 36, 0x60000020, 4); // code, executable, readable
  return image;
}

using Key = std::tuple<uint16_t, std::u16string, uint16_t, std::u16string,
                       uint16_t, uint32_t, std::string>;
std::vector<Key> Keys(const std::vector<tools::Resource> &resources) {
  std::vector<Key> keys;
  keys.reserve(resources.size());
  for (const tools::Resource &r : resources)
    keys.emplace_back(r.type.id, r.type.name, r.name.id, r.name.name,
                      r.language, r.codePage, r.data);
  std::sort(keys.begin(), keys.end());
  return keys;
}

void ReadImage(std::string_view bytes) {
  const int64_t length = static_cast<int64_t>(bytes.size());
  const pe::ImageHeaders headers =
      pe::ReadImageHeaders(package::MemorySource(bytes));
  if (headers.end && *headers.end < 0)
    Fail("an image that ends before it begins");
  const std::optional<pe::CertificateTable> ending =
      pe::TableEndingAt(headers, length);
  if (ending && (ending->offset < 0 || ending->size <= 0 ||
                 ending->offset + ending->size != length))
    Fail("a certificate table taken that does not end the file");
  if (pe::IsX86Image(package::MemorySource(bytes)) &&
      bytes.substr(0, 2) != "MZ")
    Fail("an x86 image without its MZ");

  std::string cleared(bytes);
  tools::ClearCertificateEntry(cleared);
  const pe::ImageHeaders after =
      pe::ReadImageHeaders(package::MemorySource(cleared));
  size_t changed = 0;
  for (size_t k = 0; k < cleared.size(); ++k)
    changed += cleared[k] != bytes[k];
  if (after.table || after.end != headers.end || changed > 8 ||
      (!headers.table && changed != 0))
    Fail("clearing the certificate entry did more or less than that");

  std::vector<tools::Resource> resources;
  try {
    resources = tools::ReadResources(bytes);
    tools::ReadProgramIcon(bytes);
  } catch (const tools::ToolError &) {
    return;
  }
  for (const tools::Resource &r : resources)
    if (r.fileOffset > bytes.size() ||
        bytes.substr(r.fileOffset, r.data.size()) != r.data)
      Fail("a resource's data is not where it was found");
  // A tree that names one type, name and language twice (ids compared as
  // the loader compares them, names without regard to case) writes back
  // with one of them: only trees without such twins come back whole.
  std::set<
      std::tuple<uint16_t, std::u16string, uint16_t, std::u16string, uint16_t>>
      distinct;
  const auto upper = [](std::u16string name) {
    for (char16_t &c : name)
      c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    return name;
  };
  for (const tools::Resource &r : resources)
    distinct.emplace(r.type.id, upper(r.type.name), r.name.id,
                     upper(r.name.name), r.language);
  if (distinct.size() != resources.size())
    return;
  std::string rewritten(bytes);
  try {
    tools::WriteResources(rewritten, resources);
  } catch (const tools::ToolError &) {
    return;
  }
  if (Keys(tools::ReadResources(rewritten)) != Keys(resources))
    Fail("the resources written do not read back");
}

void ReadIcon(std::string_view bytes) {
  std::vector<tools::IconImage> images;
  try {
    images = tools::ParseIcon(bytes);
  } catch (const tools::ToolError &) {
    return;
  }
  for (const tools::IconImage &image : images) {
    if (image.data.empty() || bytes.find(image.data) == std::string_view::npos)
      Fail("an icon image that is not in the file");
    tools::ShapeOf(image.data); // ParseIcon has checked it: raises nothing
  }
  tools::DescribeIcon(images);
  std::string image = ImageWithASection();
  tools::PutIcon(image, images);
  const std::vector<tools::IconImage> back = tools::ReadProgramIcon(image);
  const auto fields = [](const tools::IconImage &i) {
    return std::tie(i.width, i.height, i.colours, i.reserved, i.planes,
                    i.bitCount, i.data);
  };
  // As the group directory keeps them: reserved 0, and the planes and depth
  // that the file's directory leaves out taken from the image.
  bool same = back.size() == images.size();
  for (size_t k = 0; same && k < back.size(); ++k) {
    tools::IconImage canonical = images[k];
    canonical.reserved = 0;
    canonical.planes = canonical.planes ? canonical.planes : 1;
    canonical.bitCount =
        canonical.bitCount
            ? canonical.bitCount
            : static_cast<uint16_t>(tools::ShapeOf(canonical.data).bits);
    same = fields(back[k]) == fields(canonical);
  }
  if (!same)
    Fail("an icon put into the image does not come back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return fuzzing::ByFirstBit(data, size, ReadImage, ReadIcon);
}
