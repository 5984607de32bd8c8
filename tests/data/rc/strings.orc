// Resource strings of the sample, by name.
#define IDS_TITLE       1000
#define IDS_GREETING    1001   /* shown at start */
#define IDS_COUNT       0x3EA

STRINGTABLE
BEGIN
    IDS_TITLE,      "Sample"
    IDS_GREETING,   "Welcome, %s!"
    1002,           "%d files"
END
