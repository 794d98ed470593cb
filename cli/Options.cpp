#include "Options.h"

#include "ExitStatus.h"

#include <CLI/CLI.hpp>

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Shows the optional suffix of --in-place the way it is written.
class Formatter : public CLI::Formatter {
public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override
    {
        if (option->get_lnames() == std::vector<std::string>{"in-place"})
            return "-i[SUFFIX], --in-place[=SUFFIX]";
        return CLI::Formatter::make_option_name(option, positional);
    }
};

// GNU sed takes the backup suffix attached to -i ("-i.bak", "-qi~"), where
// CLI11 would read the characters after a short flag as more short flags:
// such an argument is spelt out as --in-place=SUFFIX before parsing. A short
// option that takes a value ends the group, as "--" ends the options.
std::vector<std::string> InPlaceSuffixSpeltOut(const CLI::App& app, const CLI::Option* inPlace, int argc,
                                               const char* const* argv)
{
    std::vector<std::string> args(argv, argv + argc);
    for (size_t i = 1; i < args.size(); ++i) {
        std::string& arg = args[i];
        if (arg == "--")
            break;
        if (arg.size() < 3 || arg[0] != '-' || arg[1] == '-')
            continue;
        for (size_t j = 1; j + 1 < arg.size(); ++j) {
            const CLI::Option* option = app.get_option_no_throw(std::string{'-', arg[j]});
            if (option == inPlace) {
                std::string spelt = "--in-place=" + arg.substr(j + 1);
                arg.resize(j); // the flags before -i
                if (arg == "-")
                    arg = std::move(spelt);
                else
                    args.insert(args.begin() + std::ptrdiff_t(i) + 1, std::move(spelt));
                break;
            }
            if (option == nullptr || option->get_items_expected_min() > 0)
                break;
        }
    }
    return args;
}

} // namespace

std::optional<int> ParseOptions(int argc, const char* const* argv, ReplaceOptions& options, std::ostream& out,
                                std::ostream& err)
{
    CLI::App app("Replaces text with Velmora dictionaries: at each position the longest before-string that "
                 "starts there, in one left-to-right pass. Texts are UTF-8, or UTF-16 with a byte-order mark, "
                 "and are written back in the same encoding.",
                 "velmora-replace");
    app.formatter(std::make_shared<Formatter>());
    app.get_formatter()->column_width(30);
    app.set_version_flag("--version", "velmora-replace " VELMORA_VERSION);
    app.add_option("-d,--dictionary", options.dictionaries,
                   "Dictionary file: UTF-16LE with FF FE, UTF-8, or compiled; repeat to merge several, in order")
        ->required()
        ->allow_extra_args(false)
        ->type_name("DICT");
    app.add_flag("--gloss", options.gloss, "Write before[after] instead of the after-string");
    app.add_option("-o,--output", options.output, "Write the output to OUT instead of standard output")
        ->type_name("OUT");
    auto* outputDir = app.add_option("--output-dir", options.outputDir,
                                     "Write each FILE's output to DIR under the FILE's name (DIR is made if missing)")
                          ->type_name("DIR");
    auto* inPlace = app.add_flag("-i{},--in-place{}", options.backupSuffix,
                                 "Rewrite each FILE; with a SUFFIX, keep the old one as FILE+SUFFIX");
    app.add_flag("--follow-symlinks", options.followSymlinks,
                 "Write through symbolic links named as FILE (with -i), OUT or FILE.tsv, whoever made them");
    app.add_option("-j,--jobs", options.jobs, "Replace up to N files at once (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1u, 4096u));
    app.add_flag("--stats", options.stats, "Print files, units, replacements, seconds and MB/s to standard error");
    app.add_option("--counts", options.countsPath, "Write each pair used with its count, most used first")
        ->type_name("FILE.tsv");
    app.add_flag("-q,--quiet", options.quiet, "No progress bar");
    auto* jsonLines = app.add_option("--jsonl", options.jsonField,
                                     "Texts are JSON lines: replace the string value of FIELD in each object")
                          ->type_name("FIELD");
    app.add_flag("--keep-bad-lines", options.keepBadLines,
                 "With --jsonl: write a line that is not an object with FIELD as a string as it came, and go on")
        ->needs(jsonLines);
    auto* compile = app.add_option("--compile", options.compileTo,
                                   "Write the dictionaries compiled to OUT, which -d then reads at once; replace nothing")
                        ->type_name("OUT");
    app.add_option("FILE", options.files, "Texts to replace; none or - reads standard input")->type_name("");
    inPlace->excludes("-o");
    outputDir->excludes("-o")->excludes(inPlace);
    for (CLI::Option* other : {app.get_option("-o"), inPlace, outputDir, jsonLines, app.get_option("--gloss"),
                               app.get_option("--counts"), app.get_option("FILE")})
        compile->excludes(other);

    try {
        const std::vector<std::string> args = InPlaceSuffixSpeltOut(app, inPlace, argc, argv);
        std::vector<const char*> pointers;
        for (const std::string& arg : args)
            pointers.push_back(arg.c_str());
        app.parse(int(pointers.size()), pointers.data());
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitSucceeded;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << '\n';
        return kExitSucceeded;
    } catch (const CLI::ParseError& e) {
        err << "velmora-replace: " << e.what() << "\nTry 'velmora-replace --help' for more information.\n";
        return kExitFailed;
    }
    options.inPlace = inPlace->count() > 0;
    options.jsonLines = jsonLines->count() > 0;
    if (options.files.empty())
        options.files.push_back("-");
    if (outputDir->count() > 0 && options.outputDir.empty()) {
        err << "velmora-replace: the output folder's name is empty\n";
        return kExitFailed;
    }
    if (options.inPlace || outputDir->count() > 0) {
        for (const std::string& file : options.files) {
            if (file == "-") {
                err << (options.inPlace ? "velmora-replace: standard input cannot be rewritten in place\n"
                                        : "velmora-replace: standard input has no file name to write under the "
                                          "output folder\n");
                return kExitFailed;
            }
        }
    }
    return std::nullopt;
}
