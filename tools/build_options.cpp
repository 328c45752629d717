// The package options of build and diff --build.
#include "tools/build_options.h"

#include "tools/code_page_choice.h"
#include "tools/icon_file.h"
#include "tools/image_texts.h"
#include "tools/package_writer.h"
#include "tools/stub.h"

namespace tools {

const std::vector<OptionSpec> &PackageOptions() {
  static const std::vector<OptionSpec> options = {
      {"--stub", true},        {"--product", true},   {"--version", true},
      {"--company", true},     {"--copyright", true}, {"--texts", true},
      {"--icon", true},        {"--codepage", true},  {"--lang", true},
      {"--for-version", true}, kStoreOption,          kLevelOption,
  };
  return options;
}

std::string PackageOptionsHelp() {
  return "  --store      the archive as it is, as any reader of the base "
         "format\n"
         "               carves it (default: one solid LZMA stream, program\n"
         "               files x86-filtered, incompressible files stored)\n"
         "  --level N    0 (fastest) to 9 (smallest); 6 by default\n"
         "  --stub STUB  the program image, a PE file (default: the one\n"
         "               installed with the tool, beside it or in\n"
         "               ../share/updpack/)\n"
         "  --icon FILE.ico\n"
         "               the package's icon (its window and its file) in\n"
         "               place of the stub's: every image of the file, any\n"
         "               size and depth, PNG-compressed ones too\n"
         "  --product NAME, --version VERSION\n"
         "               the product and version that the default texts name\n"
         "               (Quorix, 1.1), also the file's ProductName,\n"
         "               ProductVersion and FileVersion; VERSION is up to\n"
         "               four dotted numbers, optionally followed by a blank,\n"
         "               - or + and more (\"4.3 beta 2\": the file's version\n"
         "               numbers 4.3.0.0)\n"
         "  --for-version TEXT\n"
         "               the version the update is for, named when the run\n"
         "               finds another one\n"
         "  --company NAME, --copyright TEXT\n"
         "               the file's CompanyName and LegalCopyright\n"
         "  --lang ru|en the language of every text the package shows, of\n"
         "               the messages its program composes, and of its\n"
         "               file properties (default ru: the shipped texts)\n"
         "  --codepage N the Windows code page of entry names and script\n"
         "               paths, declared in the manifest, in which the run\n"
         "               reads them whatever the system's is (default: the\n"
         "               first that holds every name and path of\n"
         "               " +
         CodePageList() +
         ")\n"
         "  --texts FILE texts in place of the language's: UTF-8, one\n"
         "               `key = value` a line, \\n for a line break; keys:\n" +
         TextKeysHelp();
}

PackageOutput PackageOutputOf(const Args &args, const std::string &path) {
  for (const char *option : {"--texts", "--icon"})
    if (args.Has(option))
      RefuseOverwriting(path, args.options.at(option),
                        std::string(option + 2) + " file");
  PackageOutput output;
  output.path = path;
  TakeCompressionOptions(args, output);
  ImageTexts &texts = output.texts;
  for (const auto &[option, field] :
       {std::pair{"--product", &texts.product},
        std::pair{"--version", &texts.version},
        std::pair{"--company", &texts.company},
        std::pair{"--copyright", &texts.copyright},
        std::pair{"--for-version", &texts.forVersion}})
    if (args.Has(option))
      *field = args.options.at(option);
  if (args.Has("--lang"))
    texts.language = ParseLanguageOption(args.options.at("--lang"));
  if (args.Has("--codepage"))
    texts.codePage = ParseCodePageOption(args.options.at("--codepage"));
  if (args.Has("--texts")) {
    texts.textsFile = args.options.at("--texts");
    texts.replaced = ReadTextsFile(texts.textsFile);
  }
  if (args.Has("--icon"))
    output.icon = ReadIconFile(args.options.at("--icon"));
  // The stub, the icon and the texts first: a mistake there should not
  // cost a packing run.
  output.stubPath =
      ResolveStub(args.Has("--stub") ? args.options.at("--stub") : "");
  CheckImage(output);
  return output;
}

} // namespace tools
