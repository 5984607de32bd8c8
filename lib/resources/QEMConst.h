#pragma once
// The one table of user-visible messages. Every text the product shows or logs is here, once;
// code fills it with Format. Keep the texts exactly as they stand: logs and scripts match them.
#include <string_view>

// Item statuses: display texts and the translator window's filter captions.
inline constexpr std::u16string_view SStatusNull = u"";
inline constexpr std::u16string_view SStatusUntranslated = u"Untranslated";
inline constexpr std::u16string_view SStatusTranslated = u"Translated";
inline constexpr std::u16string_view SStatusAutoTranslated = u"Auto Translated";
inline constexpr std::u16string_view SStatusUnused = u"Unused";
inline constexpr std::u16string_view SStatusNewlyTranslated = u"Newly Translated";
inline constexpr std::u16string_view SStatusHold = u"Hold";
inline constexpr std::u16string_view SStatusDoNotTranslate = u"Don't Translate";
inline constexpr std::u16string_view SStatusEgged = u"Egged";
inline constexpr std::u16string_view SFilterShowUntranslated = u"Show Untranslated";
inline constexpr std::u16string_view SFilterShowTranslated = u"Show Translated";
inline constexpr std::u16string_view SFilterShowAutoTranslated = u"Show Auto Translated";
inline constexpr std::u16string_view SFilterShowUnused = u"Show Unused";
inline constexpr std::u16string_view SFilterShowNewlyTranslated = u"Show Newly Translated";
inline constexpr std::u16string_view SFilterShowHold = u"Show Hold";
inline constexpr std::u16string_view SFilterShowDoNotTranslate = u"Show Don't Translate";
inline constexpr std::u16string_view SFilterShowEgged = u"Show Egged";

// Start-up environment.
inline constexpr std::u16string_view SQEMAssertCaption = u"QEMAssert:\r\n\r\n";
inline constexpr std::u16string_view SIntegrationToolsObsolete =
    u"IntegrationTools key no longer used. Please use --translation commandline option";
inline constexpr std::u16string_view SAboutCaption = u"About HLX";
inline constexpr std::u16string_view SAboutVersion = u"Version %s";
inline constexpr std::u16string_view SXlatOutsideDir =
    u"The translated copy of '%s' would lie outside the translation directory '%s'";
inline constexpr std::u16string_view SXlatIsSource =
    u"The translated copy of '%s' would overwrite the file itself: choose a translation directory other than its folder";
inline constexpr std::u16string_view SCannotCreateDir = u"Cannot create the directory '%s'";

// Languages and code pages.
inline constexpr std::u16string_view SInvalidLCID = u"'%s' is not a valid LCID value";
inline constexpr std::u16string_view SUnknownLanguage = u"<unknown>";
inline constexpr std::u16string_view SCodePageUnsupported = u"Code page %d is not supported";

// String literals.
inline constexpr std::u16string_view SInvalidCharacter = u"Invalid character";
inline constexpr std::u16string_view SInvalidEscapeSequence = u"Invalid escape sequence";
inline constexpr std::u16string_view SNumberExpected = u"Number expected";
inline constexpr std::u16string_view SNumericConstantTooLarge = u"Numeric constant too large";
inline constexpr std::u16string_view SUnterminatedString = u"Unterminated string";
inline constexpr std::u16string_view SInvalidFloat = u"'%s' is not a valid floating point value";

// Stand-alone program.
inline constexpr std::u16string_view SInvalidCommandLine = u"Invalid command line";
inline constexpr std::u16string_view SHlxVersionLine = u"%s %s";
inline constexpr std::u16string_view SHlxUsage =
    u"Usage: hlx [options] [project]\n"
    u"\n"
    u"Keeps the translations of an application project in step with its sources.\n"
    u"\n"
    u"Options:\n"
    u"  -I                 integration run: run the updaters over the whole project, then exit\n"
    u"  -E                 egg integration run: make an egg build, then run the updaters\n"
    u"  -L, --LOG FILE     log file of an unattended run (default: log.txt beside the project)\n"
    u"  -O, --OUTPUT FILE  output file; its directory is created when missing\n"
    u"  -T, --TRANSLATOR   translator mode: settings kept apart from the normal mode\n"
    u"  --NOMERGE          no-merge mode\n"
    u"  --help             show this help and exit\n"
    u"  --version          show the version and exit\n"
    u"\n"
    u"Switches ignore case. The exit code of an unattended run is its number of errors.\n"
    u"Settings live in $HLX_REGISTRY, else $XDG_CONFIG_HOME/hlx/registry.db.\n";
inline constexpr std::u16string_view SHlxNoRunYet =
    u"Project runs are not available in this build yet; see --help";
inline constexpr std::u16string_view SHlxFatal = u"hlx: %s";

// XML layer.
inline constexpr std::u16string_view SXMLParseError = u"The XML document cannot be read: %s at offset %d";
inline constexpr std::u16string_view SXMLUnknownEncoding =
    u"The XML document declares the encoding '%s', which cannot be read";
inline constexpr std::u16string_view SXMLNotUTF8 =
    u"The XML document is not valid UTF-8 text at offset %d";
inline constexpr std::u16string_view SXMLNulChar =
    u"The XML document holds a NUL character at offset %d";
inline constexpr std::u16string_view SXMLCannotOpen = u"Cannot open the XML file '%s'";
inline constexpr std::u16string_view SXMLInvalidText =
    u"The text '%s' holds characters that an XML document cannot hold";
inline constexpr std::u16string_view SXMLInvalidName = u"'%s' is not a valid XML name";
inline constexpr std::u16string_view SXMLNoRoot = u"The XML document has no root element";
inline constexpr std::u16string_view SXMLNotAllowed =
    u"The XML operation %s is not allowed on this node";
