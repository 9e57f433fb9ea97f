// SPDX-License-Identifier: GPL-3.0-or-later
// orvane-pluginkit: the registry of file-manager plug-ins. Lists the registered versions of a
// plug-in with the user's election, and records elections.
#include "platform/PluginRegistry.h"

#include <exception>
#include <iostream>
#include <optional>
#include <string>

namespace {

const char* kUsage =
    "Usage: orvane-pluginkit -m [-A] [-v] -i IDENTIFIER\n"
    "       orvane-pluginkit -e use|ignore|default -i IDENTIFIER\n"
    "\n"
    "Lists the registered versions of a file-manager plug-in, or records whether you want it used.\n"
    "\n"
    "  -m            print the matching plug-in, one line per version: the election mark, then the\n"
    "                identifier and the version in parentheses. \"+\" means elected for use (also\n"
    "                when never elected), \"-\" elected to be ignored\n"
    "  -A            every registered version, newest first (else only the newest)\n"
    "  -v            also print the manifest that registered each version\n"
    "  -i ID         the plug-in's identifier\n"
    "  -e ELECTION   use, ignore, or default (forget the election); kept per user\n"
    "  -h, --help    show this help\n"
    "\n"
    "Plug-ins are registered by manifests named ID.plugin in the data folder's \"plugins\" and in\n"
    "$XDG_DATA_HOME/orvane/plugins. Elections are kept in $XDG_CONFIG_HOME/orvane-pluginkit.\n"
    "\n"
    "Exit status: 0 on success (also when nothing matches), 1 when the election could not be\n"
    "recorded, 2 for bad usage.\n";

int usageError(const std::string& message)
{
    std::cerr << "orvane-pluginkit: " << message << "\nTry 'orvane-pluginkit --help' for more information.\n";
    return 2;
}

struct Options {
    bool match = false;
    bool allVersions = false;
    bool verbose = false;
    std::optional<std::string> identifier;
    std::optional<std::string> election;
};

char mark(ov::PluginElection election) { return election == ov::PluginElection::Ignore ? '-' : '+'; }

int run(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (arg.size() < 2 || arg[0] != '-' || arg[1] == '-')
            return usageError("unexpected argument '" + arg + "'");
        // Flags may be grouped ("-mAi ID"); one that takes a value takes the next argument.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            switch (arg[k]) {
            case 'm':
                options.match = true;
                break;
            case 'A':
                options.allVersions = true;
                break;
            case 'v':
                options.verbose = true;
                break;
            case 'i':
            case 'e': {
                if (k + 1 != arg.size() || i + 1 >= argc)
                    return usageError(std::string("-") + arg[k] + " needs a value");
                (arg[k] == 'i' ? options.identifier : options.election) = std::string(argv[++i]);
                break;
            }
            default:
                return usageError(std::string("unknown option -") + arg[k]);
            }
        }
    }
    if (options.match == options.election.has_value())
        return usageError("give either -m or -e");
    if (!options.identifier)
        return usageError("-i IDENTIFIER is required");
    if (!ov::isValidPluginIdentifier(*options.identifier))
        return usageError("not a plug-in identifier: '" + *options.identifier + "'");

    if (options.election) {
        ov::PluginElection election;
        if (*options.election == "use")
            election = ov::PluginElection::Use;
        else if (*options.election == "ignore")
            election = ov::PluginElection::Ignore;
        else if (*options.election == "default")
            election = ov::PluginElection::None;
        else
            return usageError("unknown election '" + *options.election + "': use, ignore or default");
        std::string error;
        if (!ov::setPluginElection(*options.identifier, election, &error)) {
            std::cerr << "orvane-pluginkit: cannot record the election: " << error << "\n";
            return 1;
        }
        return 0;
    }

    const char electionMark = mark(ov::pluginElection(*options.identifier));
    for (const auto& registration : ov::registeredPluginVersions(*options.identifier)) {
        std::cout << electionMark << "    " << registration.identifier << "(" << registration.version << ")";
        if (options.verbose)
            std::cout << "\n\tPath = " << registration.manifestPath;
        std::cout << "\n";
        if (!options.allVersions)
            break;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "orvane-pluginkit: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "orvane-pluginkit: unexpected failure\n";
    }
    return 1;
}
