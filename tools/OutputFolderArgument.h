// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The generators' command line: one optional output folder, or --help.
#include <cstdio>
#include <cstring>
#include <string>

struct OutputFolderArgument
{
    std::string folder = "data";
    int exitCode = -1; // the generator ends with this at once when it is not -1
};

// `what` says in a line or two what the generator makes.
inline OutputFolderArgument ReadOutputFolderArgument(int argc, char** argv, const char* what)
{
    const char* program = argc > 0 ? argv[0] : "generator";
    const auto usage = [&](FILE* to) {
        std::fprintf(to,
                     "usage: %s [output-folder]\n\n%s\nThe output folder is ./data unless given; "
                     "it is made when missing and files in it are replaced.\n",
                     program, what);
    };
    OutputFolderArgument result;
    const char* first = argc > 1 ? argv[1] : nullptr;
    if (first && (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0)) {
        usage(stdout);
        result.exitCode = 0;
    } else if (argc > 2 || (first && first[0] == '-')) {
        // An option this generator does not know must not become a folder named after it.
        std::fprintf(stderr,
                     "%s: unknown argument '%s' (a folder whose name starts with - is "
                     "given as ./NAME)\n",
                     program, first[0] == '-' ? first : argv[2]);
        usage(stderr);
        result.exitCode = 2;
    } else if (first) {
        result.folder = first;
    }
    return result;
}
