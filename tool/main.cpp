#include <cstdio>

#include "platform/platform.h"
#include "platform/startup.h"
#include "tool/tooloptions.h"

namespace {

void PrintBanner()
{
    std::fprintf(stderr, "Glyphmill - July 2003\n");
    std::fprintf(stderr, "Copyright (C) 2003 Glyphmill contributors\n");
    std::fprintf(stderr, "https://glyphmill.example.org/\n\n");
    std::fflush(stderr);
}

void PrintUsage(CToolOptions& options)
{
    std::fprintf(stderr, "%s\n", options.GetErrorText());
    std::fprintf(stderr, "Usage:\n");
    std::fprintf(stderr, "%s\n", options.GetUsageText(true));
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv)
{
    // Before anything opens a file: a closed standard error must not become
    // the output file's number, and so receive the messages.
    platform::ReserveStandardDescriptors();
    platform::UseUtf8CommandLine(&argc, &argv);
    if (!platform::ApplyEnvironment("Error")) {
        return kExitUsage;
    }
    CToolOptions options;
    const bool parsed = options.Parse(argc, argv);
    if (!parsed || options.IsHelpWanted()) {
        PrintBanner();
        PrintUsage(options);
        return parsed ? kExitSuccess : kExitUsage;
    }
    if (!options.IsQuiet()) {
        PrintBanner();
    }
    if (!options.HasConversion()) {
        PrintUsage(options);
        return kExitUsage;
    }
    return RunJob(options.GetJobSettings());
}
