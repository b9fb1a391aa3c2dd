// Resource ids of setup: its icon and its two payloads (RT_RCDATA, language 1033), each byte for
// byte the program as built.
#pragma once

#define IDI_SETUP           101   // icon group
#define IDR_SETUP_INSTALLER 102   // the Installer
#define IDR_SETUP_PARK      103   // Park
