// Resource ids of the Uninstall program: its manifest and its message table, one string per text
// and UI language index (0 English ... 9 traditional Chinese).
#pragma once

#define IDS_UNINSTALL_QUESTION_BASE 100   // + language index: "Uninstall ...?"
#define IDS_UNINSTALL_FINISHED_BASE 200   // + language index: "... has been uninstalled."
#define IDS_UNINSTALL_CAPTION_BASE  300   // + language index: caption of both boxes
#define UNINSTALL_LANGUAGE_COUNT    10
