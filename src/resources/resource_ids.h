// Resource and control identifiers shared by the resource script and the code.
#pragma once

#define IDD_STARTUP 103
#define IDD_JRE_SELECTION 104
#define IDI_LAUNCHER 1001

#define IDC_PROGRESS 1001
#define IDC_MESSAGE 1003
#define IDC_LOCATE 1005
