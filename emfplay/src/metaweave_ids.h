// The ids of Metaweave's overlay name dialog, for its resource script and its
// code alike.
#pragma once

#define IDD_OVERLAY_NAME 102
#define IDC_OVERLAY_NAME_LABEL 103
#define IDC_OVERLAY_NAME_EDIT 1000
