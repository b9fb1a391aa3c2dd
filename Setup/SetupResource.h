// Resource ids of setup: its icon and its two payloads (RT_RCDATA, language 1033): the Installer
// packed in a cabinet of one file (unpacked byte for byte), and Park as it is.
#pragma once

#define IDI_SETUP           101   // icon group
#define IDR_SETUP_INSTALLER 102   // a cabinet holding the Installer
#define IDR_SETUP_PARK      103   // Park
