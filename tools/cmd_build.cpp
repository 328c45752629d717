// updpack build: a package from a product folder and a script, from a
// payload folder, or from a ready archive.
#include "tools/build_options.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/package_build.h"
#include "tools/package_writer.h"

namespace tools {

int BuildCommand(const std::vector<std::string> &arguments) {
  std::vector<OptionSpec> specs = {
      {"--from", true},         {"--payload", true},
      {"--archive", true},      {"--script", true},
      {"--output", true, "-o"}, {"--exclude", true, nullptr, true},
      {"--expect", true},       {"--unchecked", false}};
  specs.insert(specs.end(), PackageOptions().begin(), PackageOptions().end());
  const Args args = ParseArgs(arguments, specs);
  if (args.help)
    return ShowUsage("build");
  ExpectPositional(args, {});
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
  if (args.Has("--expect") && !args.Has("--from"))
    throw UsageError("--expect goes with --from");
  if (args.Has("--exclude") && !args.Has("--payload"))
    throw UsageError("--exclude goes with --payload");
  if (args.Has("--unchecked") && (args.Has("--from") || args.Has("--script")))
    throw UsageError("--unchecked goes with a ready script: --archive, or "
                     "--payload without --script");
  if (args.Has("--script"))
    RefuseOverwriting(args.options.at("--output"), args.options.at("--script"),
                      "script");
  PackageOutput output = PackageOutputOf(args, args.options.at("--output"));
  // A package made to fail, for tests of how its run fails.
  if (args.Has("--unchecked"))
    output.readyScript = PackageOutput::ReadyScript::Warn;
  ScriptSource script;
  if (args.Has("--script")) {
    script.fileName = args.options.at("--script");
    script.text = ReadWholeFile(script.fileName);
  }
  if (args.Has("--from")) {
    const std::string expectDir =
        args.Has("--expect")
            ? WithoutTrailingSeparators(args.options.at("--expect"))
            : "";
    BuildFromProduct(WithoutTrailingSeparators(args.options.at("--from")),
                     script, output,
                     args.Has("--expect") ? &expectDir : nullptr);
  } else if (args.Has("--payload"))
    BuildFromPayload(WithoutTrailingSeparators(args.options.at("--payload")),
                     args.Has("--script") ? &script : nullptr,
                     args.All("--exclude"), output);
  else
    WritePackage(args.options.at("--archive"), WithCodePage(output, {}));
  return kExitOk;
}

} // namespace tools
