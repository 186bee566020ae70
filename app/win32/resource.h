// The ids of the window program's resources, shared by kirato.rc and the
// code that loads them.
#ifndef KIRATO_APP_WIN32_RESOURCE_H_
#define KIRATO_APP_WIN32_RESOURCE_H_

#define IDI_PROGRAM 128
#define IDD_MAIN 102
#define IDC_MESSAGES 1000
#define IDC_PROGRESS 1002

#endif  // KIRATO_APP_WIN32_RESOURCE_H_
