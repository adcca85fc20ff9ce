// pictor-cli: the codec, pixel maps and image files from the command line.
#include "commands.h"
#include "file_failure.h"
#include "passive_openmp.h"
#include "qvt_error.h"
#include "raster_image.h"
#include "thread_placement.h"

#include <climits>
#include <cstdio>
#include <iostream>
#include <new>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void PrintOverview(std::FILE* to) {
    std::fprintf(to, "usage: pictor-cli COMMAND ARGUMENTS   (pictor-cli COMMAND --help)\n\n");
    for (const Command& command : Commands())
        std::fprintf(to, "  %-15s %s\n", command.name, command.summary);
    std::fprintf(to,
                 "\nFiles are chosen by extension: .qvt, .kle, .pbm/.pgm/.ppm/.pnm, .raw, and the\n"
                 "formats Qt reads and writes (.png, .bmp, .jpg, ...).\n");
}

void PrintHelp(const Command& command) {
    std::printf("usage: pictor-cli %s\n%s", command.usage, command.details);
}

// How many leading arguments name the command ("info", "kle create"); 0 when they do not.
std::size_t MatchCommand(const Command& command, const std::vector<std::string>& args) {
    const std::string name = command.name;
    const auto space = name.find(' ');
    if (space == std::string::npos) return args[0] == name ? 1 : 0;
    return args.size() >= 2 && args[0] == name.substr(0, space) && args[1] == name.substr(space + 1)
               ? 2
               : 0;
}

// The codec allocates and frees band buffers of up to a whole channel level after level. By
// default each large buffer is mapped fresh and returned on release, so every one of its pages
// faults in zeroed again, which costs as much as the coding itself on large images. A short-lived
// tool keeps freed memory in the heap instead, so the next buffers reuse pages already mapped.
void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
#endif
}

// Prints "pictor-cli: FILE: MESSAGE", or without the file when there is none.
int Fail(const std::string& path, const std::string& message) {
    std::cerr << "pictor-cli: " << (path.empty() ? "" : path + ": ") << message << '\n';
    return kExitFailure;
}

int Run(const Command& command, const std::vector<std::string>& rest) {
    std::string firstFile;
    try {
        const Arguments args = ParseArguments(rest, command.valued, command.flagged);
        if (!args.positional.empty()) firstFile = args.positional[0];
        return command.run(args);
    } catch (const UsageError& error) {
        std::cerr << "pictor-cli " << command.name << ": " << error.what() << "\nusage: pictor-cli "
                  << command.usage << '\n';
        return kExitUsage;
    } catch (const FileFailure& failure) {
        return Fail(failure.Path(), failure.what());
    } catch (const ImageFileError& error) {
        // Failures about other files are FileFailures; the rest concern the file the command
        // works on, its first.
        return Fail(firstFile, error.what());
    } catch (const IOException& error) {
        return Fail(firstFile, ErrorMessageForCode(error.error));
    } catch (const std::bad_alloc&) {
        return Fail("", "out of memory");
    }
}

} // namespace

int main(int argc, char** argv) {
    EnsurePassiveOpenMP(argv);
    KeepFreedMemoryForReuse();
    BindTeamToProcessors();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintOverview(stderr);
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintOverview(stdout);
        return 0;
    }
    for (const Command& command : Commands()) {
        const std::size_t words = MatchCommand(command, args);
        if (words == 0) continue;
        const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(words),
                                            args.end());
        for (const auto& arg : rest)
            if (arg == "--help" || arg == "-h") {
                PrintHelp(command);
                return 0;
            }
        return Run(command, rest);
    }
    std::cerr << "pictor-cli: unknown command " << args[0]
              << (args[0] == "kle" && args.size() > 1 ? " " + args[1] : "") << '\n';
    PrintOverview(stderr);
    return kExitUsage;
}
