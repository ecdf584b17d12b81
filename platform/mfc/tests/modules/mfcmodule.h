// Ids of the framework test modules' resources: the same ids, different texts.
#define IDS_MODULE_NAME 1
#define IDS_GREETING 2
#define IDS_FORMAT 3
#define IDD_NAME 100
#define IDC_NAME 1001
