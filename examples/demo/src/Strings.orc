// Resource strings of the address book. The numbers change from build to build; the names
// stay, and they identify the strings.
#define SContactsFound 64000
#define SCannotOpen 64001
#define SPageOf 64002
#define SConfirmDelete 64003
#define SSavedAt 64004

STRINGTABLE
BEGIN
  SContactsFound, "%d contacts found"
  SCannotOpen, "Cannot open the file \"%s\"."
  SPageOf, "Page %d of %d"
  SConfirmDelete, "Delete %s from the address book?"
  SSavedAt, "Saved at %s"
END
