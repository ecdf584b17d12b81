// Ids of the framework test modules' resources: the same ids, different texts.
#define IDS_MODULE_NAME 1
#define IDS_GREETING 2
#define IDS_FORMAT 3
#define IDD_NAME 100
#define IDC_NAME 1001
#define IDS_SHEET_CAPTION 4
#define IDS_PAGE_PAPER 5
#define IDS_PAGE_FINISHING 6
#define IDD_PAGE_PAPER 110
#define IDD_PAGE_FINISHING 111
#define IDC_COPIES 1101
#define IDC_STAPLE 1102
