// The Updater's command line: the option record of one run and how it is read.
#pragma once

#include <string>
#include <vector>

#include "Updater/UpdaterContract.h"

namespace Lm {
namespace Updater {

struct UpdaterOptions {
    std::wstring product = kDefaultProduct;
    std::wstring dp = kDefaultDp;
    std::string channel = kDefaultChannel;   // UTF-8
    std::wstring locale;
    std::wstring from;
    std::wstring patchUrl;
    std::wstring appArgs;
    std::wstring parkPath;
    std::wstring installerArgs;
    bool dev = false;
    bool prompt = false;
    bool notify = false;
    bool showProgress = true;
    bool parking = true;
    bool emitDownloadProgress = false;
};

// Reads the options: installerArgs is everything after the first "/installerargs=" of the raw
// command line (case-sensitive, blanks and quotes kept); the arguments (argv[1..]) are tested one
// by one against the option rows, the first matching row applies, "/installerargs=" (any case)
// stops the tests. Arguments that match no row are ignored. The channel, which goes only into
// the update check's URL, is held as UTF-8.
UpdaterOptions ParseUpdaterOptions(const std::wstring& rawCommandLine, const std::vector<std::wstring>& arguments);

// The same for the running process (GetCommandLineW and CommandLineToArgvW).
UpdaterOptions ReadUpdaterOptions();

} // namespace Updater
} // namespace Lm
