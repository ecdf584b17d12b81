// The ids of Hopwindow's dialogs and controls, for its resource script and its
// code alike. The four entries' controls are numbered on from the first.
#pragma once

#define IDD_SUPPORT_EDIT 101
#define IDD_SUPPORT_VIEW 102

// Both dialogs: an entry's address and contact, entry k at the id plus k.
#define IDC_SUPPORT_URL 1010
#define IDC_SUPPORT_CONTACT 1020

// The edit dialog: an entry's description edit and its heading.
#define IDC_SUPPORT_EDIT_DESCRIPTION 1000
#define IDC_SUPPORT_EDIT_HEADING 1035

// The view dialog: an entry's description text and its heading.
#define IDC_SUPPORT_VIEW_DESCRIPTION 1034
#define IDC_SUPPORT_VIEW_HEADING 1039
