// Packing by the tool.
#include "tools/pack_folder.h"

#include <algorithm>
#include <climits>

#include "archive/arch_errors.h"
#include "archive/catalog.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "tools/cli.h"
#include "tools/source_listing.h"

namespace tools {

namespace {

// Files up to this size are gathered in a buffer and written with others
// in one call; larger ones are copied in the kernel, kStep at a time.
constexpr int64_t kSmallFile = int64_t{1} << 20;
constexpr size_t kBuffer = size_t{4} << 20;
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
      throw ToolError(item.name + ": the name has no Windows-1251 form, "
                                  "which the catalog needs");
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
  Sink(OsFile &out, ConsoleUi &ui) : out_(out), ui_(ui) {
    buffer_.reserve(kBuffer);
  }

  void Append(const std::string &bytes) {
    if (buffer_.size() + bytes.size() > kBuffer)
      Flush();
    if (bytes.size() > kBuffer) {
      out_.WriteAt(at_, bytes.data(), bytes.size());
      at_ += static_cast<int64_t>(bytes.size());
    } else {
      buffer_ += bytes;
    }
    done_ += static_cast<int64_t>(bytes.size());
  }

  // Length bytes of source (its whole length, as listed).
  void AppendFile(const OsFile &source, int64_t length) {
    if (length <= kSmallFile) {
      if (buffer_.size() + static_cast<size_t>(length) > kBuffer)
        Flush();
      const size_t before = buffer_.size();
      buffer_.resize(before + static_cast<size_t>(length));
      if (source.ReadAt(0, buffer_.data() + before,
                        static_cast<size_t>(length)) <
          static_cast<size_t>(length))
        throw ToolError("file became shorter while it was read: " +
                        source.path());
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
  }

  void Flush() {
    out_.WriteAt(at_, buffer_.data(), buffer_.size());
    at_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
  }

  // Lets the console draw; Ctrl-C raises Pack's cancel error.
  void Yield() {
    platform::CheckClockAtNextYield();
    platform::Yield();
    TakeCancel(ui_);
  }

  int64_t Done() const { return done_; }

private:
  OsFile &out_;
  ConsoleUi &ui_;
  std::string buffer_;
  int64_t at_ = 0;   // where the buffer goes
  int64_t done_ = 0; // bytes taken
};

} // namespace

void TakeCancel(ConsoleUi &ui) {
  if (ui.TakeInterrupt())
    throw platform::Error(archive::kErrCancelled, archive::kMsgPackCancelled);
}

void SortForPacking(std::vector<PackItem> &items) {
  std::sort(items.begin(), items.end(), [](const auto &a, const auto &b) {
    return ListingOrder(a.name, b.name);
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
      const os::OpenedFile source = root.Open(item.relative);
      if (source.length != item.length)
        throw ToolError(source.file.path() + " changed while it was packed (" +
                        std::to_string(item.length) + " bytes, now " +
                        std::to_string(source.length) + ")");
      sink.AppendFile(source.file, source.length);
    }
    sink.Yield();
  }
  sink.Flush();
}

} // namespace tools
