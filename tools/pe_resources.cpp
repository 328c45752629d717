// Reading and rebuilding the resource tree of a PE image.
#include "tools/pe_resources.h"

#include <algorithm>
#include <map>

#include "package/coding.h"
#include "package/pe_image.h"
#include "tools/cli.h"

namespace tools {

namespace pe = package::pe;

using package::ReadLE;
using package::WriteLE;

namespace {

// In the optional header (PE32 and PE32+ alike).
constexpr size_t kSectionAlignmentOffset = 32;
constexpr size_t kFileAlignmentOffset = 36;
constexpr size_t kSizeOfImageOffset = 56;
constexpr size_t kCheckSumOffset = 64;
// IMAGE_DIRECTORY_ENTRY_RESOURCE.
constexpr size_t kDirectoryEntryResource = 2;
// In a section header.
constexpr size_t kSectionVirtualSize = 8;
constexpr size_t kSectionVirtualAddress = 12;
constexpr size_t kSectionCharacteristics = 36;
constexpr uint32_t kScnInitializedData = 0x00000040;
constexpr uint32_t kScnMemDiscardable = 0x02000000;
constexpr uint32_t kScnMemRead = 0x40000000;
// The resource tree: a directory is a 16-byte header (the counts of named
// and numbered entries at 12 and 14) and 8-byte entries (name or id, then
// the offset of a subdirectory, high bit set, or of a data entry); a data
// entry is the data's RVA, its size, its code page and a reserved field.
constexpr size_t kDirectoryHeader = 16;
constexpr size_t kDirectoryEntry = 8;
constexpr size_t kDataEntry = 16;
constexpr uint32_t kHighBit = 0x80000000;
// Entries read at most: far beyond any real image, and a bound on a tree
// made to loop.
constexpr size_t kMaxEntries = 65536;
constexpr uint32_t kMaxFileAlignment = 0x10000;

[[noreturn]] void Broken(const std::string &what) {
  throw ToolError("the program image's " + what);
}

uint32_t AlignUp(uint64_t value, uint32_t alignment) {
  return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

struct Section {
  size_t header; // offset of its header
  uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
};

// The headers the tree's reader and writer need, checked against the
// image's length.
struct Layout {
  size_t fileSize = 0;
  size_t optional = 0;
  size_t resourceEntry = 0; // the resource data directory's entry
  uint32_t sectionAlignment = 0, fileAlignment = 0;
  std::vector<Section> sections;

  explicit Layout(std::string_view image) : fileSize(image.size()) {
    if (image.size() < pe::kDosLfanewOffset + 4 ||
        ReadLE(image, 0, 2) != 0x5A4D)
      Broken("headers do not parse (no MZ)");
    // In size_t: e_lfanew near 4 GiB must not wrap round to the start.
    const size_t coff = size_t{ReadLE(image, pe::kDosLfanewOffset, 4)} + 4;
    optional = coff + pe::kCoffHeaderSize;
    if (optional + kCheckSumOffset + 4 > image.size() ||
        ReadLE(image, coff - 4, 4) != pe::kPeSignature)
      Broken("headers do not parse (no PE header)");
    const uint32_t magic = ReadLE(image, optional, 2);
    const bool plus = magic == pe::kPe32PlusMagic;
    if (!plus && magic != pe::kPe32Magic)
      Broken("optional header is of no known kind");
    const size_t optionalSize =
        ReadLE(image, coff + pe::kSizeOfOptionalHeaderOffset, 2);
    const size_t countAt = optional + (plus ? pe::kNumberOfRvaAndSizesPe32Plus
                                            : pe::kNumberOfRvaAndSizesPe32);
    if (optional + optionalSize > image.size() ||
        countAt + 4 > optional + optionalSize)
      Broken("optional header is cut short");
    const size_t count = ReadLE(image, countAt, 4);
    resourceEntry =
        optional + pe::DataDirectoryOffset(plus, kDirectoryEntryResource);
    if (count <= kDirectoryEntryResource ||
        resourceEntry + pe::kDataDirectorySize > optional + optionalSize)
      Broken("optional header has no resource directory");
    sectionAlignment = ReadLE(image, optional + kSectionAlignmentOffset, 4);
    fileAlignment = ReadLE(image, optional + kFileAlignmentOffset, 4);
    if (sectionAlignment == 0 || fileAlignment == 0)
      Broken("headers give no alignment");
    // As the PE format has it: else the last section, padded to the file
    // alignment, would grow by up to 2 GiB for a tree of a few bytes.
    if (fileAlignment > kMaxFileAlignment ||
        (fileAlignment & (fileAlignment - 1)) != 0)
      Broken("file alignment is not a power of two up to 64 KiB");
    const size_t table = optional + optionalSize;
    const size_t sectionCount =
        ReadLE(image, coff + pe::kNumberOfSectionsOffset, 2);
    if (table + sectionCount * pe::kSectionHeaderSize > image.size())
      Broken("section table runs past the end of the file");
    for (size_t k = 0; k < sectionCount; ++k) {
      const size_t h = table + k * pe::kSectionHeaderSize;
      sections.push_back({h, ReadLE(image, h + kSectionVirtualSize, 4),
                          ReadLE(image, h + kSectionVirtualAddress, 4),
                          ReadLE(image, h + pe::kSectionSizeOfRawData, 4),
                          ReadLE(image, h + pe::kSectionPointerToRawData, 4)});
    }
  }

  // The file offset of size bytes at rva, inside one section's raw data
  // and inside the file.
  std::optional<size_t> Offset(uint64_t rva, uint64_t size) const {
    for (const Section &s : sections) {
      const uint64_t at = s.rawPointer + (rva - s.virtualAddress);
      if (rva >= s.virtualAddress && rva - s.virtualAddress <= s.rawSize &&
          size <= s.rawSize - (rva - s.virtualAddress) && at <= fileSize &&
          size <= fileSize - at)
        return at;
    }
    return std::nullopt;
  }
};

// Reads the tree whose root lies at file offset root, limit bytes of it
// available.
class TreeReader {
public:
  TreeReader(std::string_view image, const Layout &layout, size_t root,
             size_t limit)
      : image_(image), layout_(layout), root_(root), limit_(limit) {}

  void Read(std::vector<Resource> &out) {
    Resource path;
    Directory(0, 0, path, out);
  }

private:
  void Need(uint64_t offset, uint64_t size) const {
    if (offset > limit_ || size > limit_ - offset)
      Broken("resource tree points outside itself");
  }

  ResourceId Id(uint32_t field) {
    ResourceId id;
    if (!(field & kHighBit)) {
      id.id = static_cast<uint16_t>(field);
      return id;
    }
    const size_t at = field & ~kHighBit;
    Need(at, 2);
    const size_t length = ReadLE(image_, root_ + at, 2);
    Need(at + 2, length * 2);
    for (size_t k = 0; k < length; ++k)
      id.name +=
          static_cast<char16_t>(ReadLE(image_, root_ + at + 2 + 2 * k, 2));
    if (id.name.empty())
      Broken("resource tree has an empty name");
    return id;
  }

  void Directory(size_t at, int level, Resource &path,
                 std::vector<Resource> &out) {
    Need(at, kDirectoryHeader);
    const size_t count =
        ReadLE(image_, root_ + at + 12, 2) + ReadLE(image_, root_ + at + 14, 2);
    entries_ += count;
    if (entries_ > kMaxEntries)
      Broken("resource tree has too many entries");
    Need(at + kDirectoryHeader, count * kDirectoryEntry);
    for (size_t k = 0; k < count; ++k) {
      const size_t entry = root_ + at + kDirectoryHeader + k * kDirectoryEntry;
      const uint32_t name = ReadLE(image_, entry, 4);
      const uint32_t target = ReadLE(image_, entry + 4, 4);
      if ((level < 2) != static_cast<bool>(target & kHighBit))
        Broken("resource tree is not three levels deep");
      if (level == 0)
        path.type = Id(name);
      else if (level == 1)
        path.name = Id(name);
      else {
        path.language = static_cast<uint16_t>(name);
        path.languageEntry = entry;
        path.languageCount = count;
      }
      if (level < 2) {
        Directory(target & ~kHighBit, level + 1, path, out);
        continue;
      }
      Need(target, kDataEntry);
      const uint32_t rva = ReadLE(image_, root_ + target, 4);
      const uint32_t size = ReadLE(image_, root_ + target + 4, 4);
      const auto offset = layout_.Offset(rva, size);
      if (!offset)
        Broken("resource data lies outside the image");
      // Entries of a tree that shares its directories can name the same
      // data thousands of times: more data than the image holds is made
      // so, and would be copied as often.
      dataBytes_ += size;
      if (dataBytes_ > image_.size())
        Broken("resource tree names more data than the image holds");
      Resource resource = path;
      resource.codePage = ReadLE(image_, root_ + target + 8, 4);
      resource.data = std::string(image_.substr(*offset, size));
      resource.fileOffset = *offset;
      out.push_back(std::move(resource));
    }
  }

  std::string_view image_;
  const Layout &layout_;
  size_t root_, limit_;
  size_t entries_ = 0;
  uint64_t dataBytes_ = 0;
};

// The order of a directory's entries, as the loader searches them: names
// first, by their upper-case form, then numbers, ascending.
bool Before(const ResourceId &a, const ResourceId &b) {
  if (a.name.empty() != b.name.empty())
    return !a.name.empty();
  if (a.name.empty())
    return a.id < b.id;
  const auto upper = [](char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  };
  return std::lexicographical_compare(
      a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
      [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
}

struct IdOrder {
  bool operator()(const ResourceId &a, const ResourceId &b) const {
    return Before(a, b);
  }
};

// type -> name -> language -> resource
using Tree = std::map<
    ResourceId,
    std::map<ResourceId, std::map<uint16_t, const Resource *>, IdOrder>,
    IdOrder>;

// The bytes of a tree for resources whose root lies at rva base.
std::string BuildTree(const Tree &tree, uint32_t base) {
  // Sizes first: the directories, then the names, the data entries and
  // the data, each at an offset known before anything is written.
  size_t directories = kDirectoryHeader + tree.size() * kDirectoryEntry;
  size_t resources = 0;
  size_t nameBytes = 0;
  const auto nameSize = [](const ResourceId &id) {
    return id.name.empty() ? 0 : 2 + 2 * id.name.size();
  };
  for (const auto &[type, names] : tree) {
    nameBytes += nameSize(type);
    directories += kDirectoryHeader + names.size() * kDirectoryEntry;
    for (const auto &[name, languages] : names) {
      nameBytes += nameSize(name);
      directories += kDirectoryHeader + languages.size() * kDirectoryEntry;
      resources += languages.size();
    }
  }
  const size_t namesAt = directories;
  const size_t entriesAt = AlignUp(namesAt + nameBytes, 8);
  size_t dataAt = entriesAt + resources * kDataEntry;
  std::string bytes(dataAt, '\0');

  size_t nextDirectory = 0;
  size_t nextName = namesAt;
  size_t nextEntry = entriesAt;
  const auto directory = [&](size_t named, size_t numbered) {
    const size_t at = nextDirectory;
    WriteLE(bytes, at + 12, static_cast<uint32_t>(named), 2);
    WriteLE(bytes, at + 14, static_cast<uint32_t>(numbered), 2);
    nextDirectory += kDirectoryHeader + (named + numbered) * kDirectoryEntry;
    return at;
  };
  const auto nameField = [&](const ResourceId &id) -> uint32_t {
    if (id.name.empty())
      return id.id;
    const size_t at = nextName;
    WriteLE(bytes, at, static_cast<uint32_t>(id.name.size()), 2);
    for (size_t k = 0; k < id.name.size(); ++k)
      WriteLE(bytes, at + 2 + 2 * k, id.name[k], 2);
    nextName += nameSize(id);
    return static_cast<uint32_t>(at) | kHighBit;
  };
  const auto counts = [](const auto &children) {
    size_t named = 0;
    for (const auto &child : children)
      named += !child.first.name.empty();
    return std::pair{named, children.size() - named};
  };
  const auto [typesNamed, typesNumbered] = counts(tree);
  const size_t root = directory(typesNamed, typesNumbered);
  size_t typeSlot = root + kDirectoryHeader;
  for (const auto &[type, names] : tree) {
    const auto [named, numbered] = counts(names);
    const size_t typeDirectory = directory(named, numbered);
    WriteLE(bytes, typeSlot, nameField(type), 4);
    WriteLE(bytes, typeSlot + 4,
            static_cast<uint32_t>(typeDirectory) | kHighBit, 4);
    typeSlot += kDirectoryEntry;
    size_t nameSlot = typeDirectory + kDirectoryHeader;
    for (const auto &[name, languages] : names) {
      const size_t nameDirectory = directory(0, languages.size());
      WriteLE(bytes, nameSlot, nameField(name), 4);
      WriteLE(bytes, nameSlot + 4,
              static_cast<uint32_t>(nameDirectory) | kHighBit, 4);
      nameSlot += kDirectoryEntry;
      size_t languageSlot = nameDirectory + kDirectoryHeader;
      for (const auto &[language, resource] : languages) {
        WriteLE(bytes, languageSlot, language, 4);
        WriteLE(bytes, languageSlot + 4, static_cast<uint32_t>(nextEntry), 4);
        languageSlot += kDirectoryEntry;
        dataAt = AlignUp(bytes.size(), 8);
        bytes.resize(dataAt, '\0');
        bytes += resource->data;
        WriteLE(bytes, nextEntry, static_cast<uint32_t>(base + dataAt), 4);
        WriteLE(bytes, nextEntry + 4,
                static_cast<uint32_t>(resource->data.size()), 4);
        WriteLE(bytes, nextEntry + 8, resource->codePage, 4);
        nextEntry += kDataEntry;
      }
    }
  }
  return bytes;
}

} // namespace

std::vector<Resource> ReadResources(std::string_view image) {
  const Layout layout(image);
  const uint32_t rva = ReadLE(image, layout.resourceEntry, 4);
  const uint32_t size = ReadLE(image, layout.resourceEntry + 4, 4);
  std::vector<Resource> resources;
  if (rva == 0 || size == 0)
    return resources;
  const auto root = layout.Offset(rva, size);
  if (!root)
    Broken("resource directory lies outside the image");
  TreeReader(image, layout, *root, size).Read(resources);
  return resources;
}

void WriteResources(std::string &image,
                    const std::vector<Resource> &resources) {
  const Layout layout(image);
  if (layout.sections.empty())
    Broken("section table is empty: no section can hold its resources");
  const Section last =
      *std::max_element(layout.sections.begin(), layout.sections.end(),
                        [](const Section &a, const Section &b) {
                          return a.virtualAddress < b.virtualAddress;
                        });
  size_t rawEnd = 0;
  for (const Section &s : layout.sections)
    rawEnd = std::max<size_t>(rawEnd, size_t{s.rawPointer} + s.rawSize);
  if (size_t{last.rawPointer} + last.rawSize != rawEnd ||
      rawEnd != image.size())
    Broken("last section does not end the file (" +
           std::to_string(image.size()) + " bytes, sections up to " +
           std::to_string(rawEnd) + "; a signature?)");

  Tree tree;
  for (const Resource &r : resources)
    tree[r.type][r.name][r.language] = &r;
  // In place of the old tree when it fills the last section, else after
  // whatever the section holds.
  const uint32_t oldRoot = ReadLE(image, layout.resourceEntry, 4);
  const uint64_t start =
      oldRoot == last.virtualAddress
          ? 0
          : AlignUp(std::max(last.virtualSize, last.rawSize), 16);
  const std::string bytes =
      BuildTree(tree, static_cast<uint32_t>(last.virtualAddress + start));
  const uint64_t virtualSize = start + bytes.size();
  const uint64_t rawSize = AlignUp(virtualSize, layout.fileAlignment);
  if (last.rawPointer + rawSize >= (uint64_t{1} << 31))
    Broken("resources would take it to 2 GiB");

  image.resize(last.rawPointer + start, '\0');
  image += bytes;
  image.resize(last.rawPointer + rawSize, '\0');
  WriteLE(image, last.header + kSectionVirtualSize,
          static_cast<uint32_t>(virtualSize), 4);
  WriteLE(image, last.header + pe::kSectionSizeOfRawData,
          static_cast<uint32_t>(rawSize), 4);
  const uint32_t flags =
      ReadLE(image, last.header + kSectionCharacteristics, 4);
  WriteLE(image, last.header + kSectionCharacteristics,
          (flags | kScnInitializedData | kScnMemRead) & ~kScnMemDiscardable, 4);
  WriteLE(image, layout.optional + kSizeOfImageOffset,
          AlignUp(last.virtualAddress + virtualSize, layout.sectionAlignment),
          4);
  WriteLE(image, layout.resourceEntry,
          static_cast<uint32_t>(last.virtualAddress + start), 4);
  WriteLE(image, layout.resourceEntry + 4, static_cast<uint32_t>(bytes.size()),
          4);
  // The old checksum no longer holds; the loader of a program ignores it.
  WriteLE(image, layout.optional + kCheckSumOffset, 0, 4);
}

} // namespace tools
