// The texts and file properties that `updpack build` puts into the program
// image of a package: the run's texts after the image's last byte, the
// product, version, company and copyright in its version resource.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "package/texts.h"

namespace tools {

struct ImageTexts {
  std::string product = package::kDefaultProduct;
  std::string version = package::kDefaultVersion;
  std::string company;
  std::string copyright;
  std::map<std::string, std::string> replaced; // text key -> text

  // True when anything but the defaults is asked for.
  bool Asked() const;
};

// A --texts file: UTF-8, one `key = value` a line; blank lines and lines
// whose first non-blank character is # are skipped; in a value, \n is a
// line break and \\ a backslash. Raises ToolError naming the file and line
// for an unknown key, a key given twice or a line without "=".
std::map<std::string, std::string> ReadTextsFile(const std::string &path);

// The key list for `updpack help build`.
std::string TextKeysHelp();

// What build refuses in texts made for product and version, one message
// each: a text too long for the window or box that shows it (or for the
// room the version resource keeps), a character Windows cannot show there,
// an empty question. verify reports a package's texts by the same rules.
std::vector<std::string> TextFaults(const std::string &product,
                                    const std::string &version,
                                    const package::Texts &texts);

// The texts a run of the package shows, checked: raises ToolError for the
// first of TextFaults, and for a company or copyright too long for the
// version resource or with a character Windows cannot show.
package::Texts CheckTexts(const ImageTexts &texts);

// Puts texts into the image: the version resource's strings, and the
// texts after the image's last byte, where the run reads them, with the
// declaration of the checksum entry that every package of build carries.
// Raises ToolError, before anything is
// changed, for a text too long for the window or box that shows it, or for
// the room a package has, and for a character Windows cannot show. An image
// without a version resource keeps blank file properties, with a warning.
void PutTexts(std::string &image, const ImageTexts &texts);

// What an image holds: whether it ends in texts, the product and
// version its texts were made for, the texts given in place of the
// defaults, and the texts a run shows.
struct FoundTexts {
  bool own = false;  // the image ends in texts of its own
  bool sums = false; // they declare the checksum entry
  std::string product = package::kDefaultProduct;
  std::string version = package::kDefaultVersion;
  std::map<std::string, std::string> replaced;
  package::Texts texts = package::PlainTexts();
};
FoundTexts ReadImageTexts(std::string_view image);

} // namespace tools
