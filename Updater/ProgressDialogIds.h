// Resource ids of the progress dialog (ProgressDialog.rc), shared by the .rc and the code.
#pragma once

#define IDD_UPDATER_PROGRESS   108   // the dialog template
#define IDC_UPDATER_STATUS     1001  // the status line
#define IDC_UPDATER_PROGRESS   1002  // the progress bar (0..100)
#define IDI_UPDATER_ICON       131   // the program's own icon group (Updater.rc)
