// updpack build: a package from a product folder and a script, from a
// payload folder, or from a ready archive.
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/image_texts.h"
#include "tools/package_build.h"
#include "tools/package_writer.h"
#include "tools/stub.h"

namespace tools {

int BuildCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {{"--from", true},
                                          {"--payload", true},
                                          {"--archive", true},
                                          {"--script", true},
                                          {"--stub", true},
                                          {"--output", true, "-o"},
                                          {"--product", true},
                                          {"--version", true},
                                          {"--company", true},
                                          {"--copyright", true},
                                          {"--texts", true},
                                          {"--icon", true},
                                          {"--exclude", true, nullptr, true},
                                          kStoreOption,
                                          kLevelOption});
  if (args.help)
    return ShowUsage("build");
  ExpectPositional(args, 0);
  const int sources =
      args.Has("--from") + args.Has("--payload") + args.Has("--archive");
  if (sources != 1)
    throw UsageError("give one of --from, --payload and --archive");
  if (!args.Has("--output"))
    throw UsageError("missing --output");
  if (args.Has("--from") && !args.Has("--script"))
    throw UsageError("--from needs --script");
  if (args.Has("--archive") && args.Has("--script"))
    throw UsageError("--script goes with --from or --payload, not --archive");
  if (args.Has("--exclude") && !args.Has("--payload"))
    throw UsageError("--exclude goes with --payload");
  PackageOutput output;
  output.path = args.options.at("--output");
  TakeCompressionOptions(args, output);
  ImageTexts &texts = output.texts;
  for (const auto &[option, field] :
       {std::pair{"--product", &texts.product},
        std::pair{"--version", &texts.version},
        std::pair{"--company", &texts.company},
        std::pair{"--copyright", &texts.copyright}})
    if (args.Has(option))
      *field = args.options.at(option);
  if (args.Has("--texts"))
    texts.replaced = ReadTextsFile(args.options.at("--texts"));
  if (args.Has("--icon"))
    output.icon = ReadIconFile(args.options.at("--icon"));

  // The stub, the icon and the texts first: a mistake there should not
  // cost a packing run.
  output.stubPath =
      ResolveStub(args.Has("--stub") ? args.options.at("--stub") : "");
  CheckImage(output);
  ScriptSource script;
  if (args.Has("--script")) {
    script.fileName = args.options.at("--script");
    script.text = ReadWholeFile(script.fileName);
  }
  if (args.Has("--from"))
    BuildFromProduct(WithoutTrailingSeparators(args.options.at("--from")),
                     script, output);
  else if (args.Has("--payload"))
    BuildFromPayload(WithoutTrailingSeparators(args.options.at("--payload")),
                     args.Has("--script") ? &script : nullptr,
                     args.All("--exclude"), output);
  else
    WritePackage(args.options.at("--archive"), output);
  return kExitOk;
}

} // namespace tools
