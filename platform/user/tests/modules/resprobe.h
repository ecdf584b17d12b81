// Ids of the resource probe module's resources.
#define IDD_PROBE 100
#define IDD_PROBE_EX 101
#define IDB_PROBE 200
#define IDI_PROBE 300
#define IDS_FIRST 1
#define IDS_SECOND 2
#define IDS_LAST_OF_BLOCK 15
#define IDS_NEXT_BLOCK 16
#define IDS_NON_ASCII 17
#define IDS_LONG 40
#define IDS_JAPANESE_ONLY 50
#define IDC_NAME 1001
#define IDC_COPIES 1002
#define IDC_DUPLEX 1003
#define IDC_PAPER 1004
