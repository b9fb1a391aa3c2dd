// The Installer's message table: seven texts in each of the ten UI languages, indexed by the UI
// language index (CommonAppLogic/UILanguage.h). Every box of the Installer takes its text and its
// caption from here; the desktop link takes its description from column 0.
#pragma once

#include "CommonAppLogic/UILanguage.h"

namespace Lm {
namespace Installer {

enum InstallerMessage {
    kMessageTagline = 0,          // tagline; the description of the desktop link
    kMessageWindowsTooOld = 1,    // Windows older than 7
    kMessageAlreadyRunning = 2,   // another Installer holds the one-instance mutex
    kMessageDownloadFailed = 3,   // the Updater could not fetch the main application
    kMessageUnexpectedError = 4,  // followed by " (Error <n>-<code>)"
    kMessageExitQuestion = 5,     // asked after Cancel on the licence page
    kMessageCaption = 6,          // caption of every box
    kInstallerMessageCount = 7
};

// One row of the table: the seven texts of one language.
typedef const wchar_t* const InstallerMessageRow[kInstallerMessageCount];

// The row of a UI language index; an index outside 0-9 gives the English row.
const InstallerMessageRow& GetInstallerMessageRow(int languageIndex);

// One text of a row.
inline const wchar_t* InstallerMessageText(const InstallerMessageRow& row, InstallerMessage message)
{
    return row[message];
}

} // namespace Installer
} // namespace Lm
