// Resource and control ids shared by the .rc file and the code.
#pragma once

#define IDD_INSTALL_DIALOG 103
#define IDD_AGREEMENT_DIALOG 106
#define IDC_INSTALL_TITLE 1001
#define IDC_AGREEMENT_TEXT 1009
#define IDI_PROGRAM_ICON 1
#define IDR_PACKAGE 1000
#define IDR_APPLICATION_MANIFEST 1
