// Ids of the Updater's string table (UpdaterStrings.rc, ten languages), loaded with
// CResourceStrings::LoadString in the language chosen at start-up. Included by the .rc as well.
#pragma once

#define IDS_UPDATER_CAPTION        101   // window caption and caption of every message box
#define IDS_UPDATER_CHECKING       102   // first status line
#define IDS_UPDATER_DOWNLOADING    103   // status while downloading
#define IDS_UPDATER_APPLYING       104   // status after the download, while testing and launching
#define IDS_UPDATER_PROMPT         105   // the /prompt question (Yes/No)
#define IDS_UPDATER_OFFLINE        106   // the offline error box
#define IDS_UPDATER_NOTIFY         107   // the /notify notice
