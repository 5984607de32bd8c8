#pragma once
// Messages of the platform layer itself (the stand-in for the host run-time library). They sit
// below the product's message table, which the platform layer may not use; every product
// message lives in resources/QEMConst.h.
#include <string_view>

inline constexpr std::u16string_view SInvalidFormat =
    u"Format '%s' invalid or incompatible with argument";
inline constexpr std::u16string_view SInvalidRegType = u"Invalid data type for '%s'";
inline constexpr std::u16string_view SRegGetDataFailed = u"Failed to get data for '%s'";
inline constexpr std::u16string_view SRegSetDataFailed = u"Failed to set data for '%s'";
inline constexpr std::u16string_view SRegCreateFailed = u"Failed to create key %s";
inline constexpr std::u16string_view SRegHiveOpenFailed =
    u"The settings file '%s' cannot be opened: %s";
inline constexpr std::u16string_view SRegHiveBusy =
    u"The settings file '%s' stayed locked by another program too long: %s";
inline constexpr std::u16string_view SRegHiveWriteFailed =
    u"The settings file '%s' cannot be written: %s";
inline constexpr std::u16string_view STempDirFailed =
    u"Cannot create a private temporary directory in '%s': %s";
inline constexpr std::u16string_view STempFileFailed =
    u"Cannot create a temporary file in '%s': %s";
inline constexpr std::u16string_view SCannotSaveFile = u"Cannot save '%s': %s";
inline constexpr std::u16string_view SListIndexError = u"List index out of bounds (%d)";
inline constexpr std::u16string_view SDuplicateString = u"String list does not allow duplicates";
inline constexpr std::u16string_view SSortedListError = u"Operation not allowed on sorted list";
inline constexpr std::u16string_view SRegHiveReadFailed =
    u"The settings file '%s' cannot be read: %s";
inline constexpr std::u16string_view SRegHiveNotOurs =
    u"it holds no settings of this program, or settings of a newer version";
