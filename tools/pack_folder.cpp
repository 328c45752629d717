// Packing by the tool.
#include "tools/pack_folder.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "archive/arch_errors.h"
#include "archive/catalog.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "tools/cli.h"
#include "tools/code_page_choice.h"
#include "tools/source_listing.h"

namespace tools {

namespace {

// Files up to this size are gathered in a buffer and written with others
// in one call; larger ones are copied in the kernel, kStep at a time. The
// buffer stays small: each of its pages costs a fault when first touched.
constexpr int64_t kSmallFile = int64_t{64} << 10;
constexpr size_t kBuffer = size_t{512} << 10;
constexpr int64_t kStep = int64_t{8} << 20;

// The header and the catalog, as Pack writes them before the data.
std::string Head(const std::vector<PackItem> &items, uint8_t compression) {
  std::string head(archive::kSignature, archive::kSignatureSize);
  head += static_cast<char>(compression);
  head += static_cast<char>(archive::kCatalogMark);
  int64_t running = 1; // data-region position of the next entry
  int64_t total = archive::kHeaderSize + 1;
  for (const PackItem &item : items) {
    archive::CheckStorableName(item.name);
    std::string text;
    if (!platform::TextToAnsi(item.name, text))
      throw ToolError(item.name + ": the name has no form in code page " +
                      std::to_string(CodePageInEffect()) +
                      ", which the catalog needs");
    const int64_t end = running + item.length;
    text += archive::kFieldSeparator + std::to_string(running) +
            archive::kFieldSeparator + std::to_string(end);
    total += static_cast<int64_t>(text.size()) + 1 + item.length;
    if (end > INT32_MAX || total > INT32_MAX)
      throw ToolError("the archive would reach 2 GiB at " + item.name);
    head += text;
    head += static_cast<char>(archive::kEntryEnd);
    running = end;
  }
  head += static_cast<char>(archive::kCatalogMark);
  return head;
}

// The archive's bytes as they are written, with the progress line's
// figures.
class Sink {
public:
  Sink(OsFile &out, ConsoleUi &ui)
      // One byte more than the largest small file: the reader asks for it
      // to tell a file that grew.
      : out_(out), ui_(ui), buffer_(new char[kBuffer + 1]) {}

  void Append(const std::string &bytes) {
    if (used_ + bytes.size() > kBuffer)
      Flush();
    if (bytes.size() > kBuffer) {
      out_.WriteAt(at_, bytes.data(), bytes.size());
      at_ += static_cast<int64_t>(bytes.size());
    } else {
      std::copy(bytes.begin(), bytes.end(), buffer_.get() + used_);
      used_ += bytes.size();
    }
    done_ += static_cast<int64_t>(bytes.size());
  }

  // The bytes of source, which was listed with length bytes; raises when
  // it holds another number now.
  void AppendFile(const OsFile &source, int64_t length) {
    const auto small = static_cast<size_t>(length);
    if (length <= kSmallFile) {
      if (used_ + small > kBuffer)
        Flush();
      Expect(source, length,
             source.ReadAt(0, buffer_.get() + used_, small + 1));
      used_ += small;
      done_ += length;
      return;
    }
    Flush();
    for (int64_t done = 0; done < length;) {
      const int64_t step = std::min(kStep, length - done);
      CopyBytes(source, done, step, out_, at_);
      at_ += step;
      done += step;
      done_ += step;
      Yield();
    }
    char more = 0;
    Expect(source, length, length + source.ReadAt(length, &more, 1));
  }

  void Flush() {
    out_.WriteAt(at_, buffer_.get(), used_);
    at_ += static_cast<int64_t>(used_);
    used_ = 0;
  }

  // Lets the console draw; Ctrl-C raises Pack's cancel error.
  void Yield() {
    platform::CheckClockAtNextYield();
    platform::Yield();
    TakeCancel(ui_);
  }

  int64_t Done() const { return done_; }

private:
  static void Expect(const OsFile &source, int64_t listed, int64_t found) {
    if (found != listed)
      throw ToolError(source.path() + " changed while it was packed (" +
                      std::to_string(listed) + " bytes when listed)");
  }

  OsFile &out_;
  ConsoleUi &ui_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  int64_t at_ = 0;   // where the buffer goes
  int64_t done_ = 0; // bytes taken
};

} // namespace

void TakeCancel(ConsoleUi &ui) {
  if (ui.TakeInterrupt())
    throw platform::Error(archive::kErrCancelled,
                          platform::MsgText(archive::kMsgPackCancelled));
}

void SortForPacking(std::vector<PackItem> &items) {
  SortInListingOrder(items, [](const PackItem &item) -> const std::string & {
    return item.name;
  });
}

void PackItems(const os::RootFolder &root, const std::vector<PackItem> &items,
               uint8_t compression, OsFile &out, ConsoleUi &ui) {
  const std::string head = Head(items, compression);
  auto total = static_cast<int64_t>(head.size());
  for (const PackItem &item : items)
    total += item.length;
  Sink sink(out, ui);
  const std::string *name = nullptr;

  ui.CatchInterrupts();
  ui.SetPoller([&] {
    const int percent =
        total > 0 ? static_cast<int>(sink.Done() * 100 / total) : 100;
    ui.SetToolLine("packing " + std::to_string(percent) + "%  " +
                   ByteCount(sink.Done()) + "  " + (name ? *name : ""));
  });
  struct Clear {
    ConsoleUi &ui;
    ~Clear() {
      ui.SetPoller(nullptr);
      ui.ClearLine();
    }
  } clear{ui};

  sink.Append(head);
  for (const PackItem &item : items) {
    name = &item.name;
    if (item.relative.empty()) {
      sink.Append(item.bytes);
    } else {
      const OsFile file = root.OpenListed(item.relative);
      sink.AppendFile(file, item.length);
      // Written while it was read (the bytes may be half old, half new), or
      // put in the listed file's place: not the file that was listed.
      if (os::StampOf(file) != item.listed)
        throw ToolError(file.path() + " changed while it was packed");
    }
    sink.Yield();
  }
  sink.Flush();
}

} // namespace tools
