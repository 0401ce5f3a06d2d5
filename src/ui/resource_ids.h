#pragma once

#include "common/text_ids.h"

// Numeric ids of the built-in resources. Language libraries answer the same
// ids, so these numbers are fixed for good.
namespace ResourceId {

// String table.
inline constexpr int AppTitle = 57344;           // application title, message-box caption
inline constexpr int FrameTitle = 104;           // main window title, before "(v" + OrvoVersion + ")"
inline constexpr int ConnectDeviceText = 105;    // waiting for a device
inline constexpr int ConnectingText = 106;       // device accepted
inline constexpr int SerialPrefixText = 107;     // followed directly by the serial
inline constexpr int ReconnectText = 109;        // device gone before the write
inline constexpr int WritingText = 110;          // the device is being written
inline constexpr int CompleteText = 111;         // cycle done, unplug
inline constexpr int FailedText = 112;           // the worker has stopped
inline constexpr int DownloadErrorText = 113;    // the downloaded database cannot be read
inline constexpr int ErrorCaption = 114;         // caption of the error boxes
inline constexpr int UpgradeSuccessfulText = 115;
inline constexpr int WorkingFilesErrorText = 116;   // working files cannot be written
inline constexpr int ConfirmCloseWhileWriting = 117;  // closing would leave the Orvo half written
// The line below text 113 that says what the download failed on; "%1" takes
// the value.
inline constexpr int DownloadCauseHttpStatus = 118;     // %1: the status number
inline constexpr int DownloadCauseFolder = 119;         // %1: the folder that could not be written
inline constexpr int DownloadCauseNoConnection = 120;   // %1: host[:port]
inline constexpr int DownloadCauseTimedOut = 121;
inline constexpr int DownloadCauseTruncated = 122;
inline constexpr int DownloadCauseTooLarge = 123;
inline constexpr int DownloadCauseTransferFailed = 124;
inline constexpr int DownloadCauseNoLength = 125;       // neither a length nor chunked framing
inline constexpr int DownloadCauseDiskFull = 126;       // %1: the folder on the full disk
inline constexpr int DownloadCauseNotWritable = 127;    // %1: the folder that may not be written
// %1: the settings file; told once per run.
inline constexpr int SettingsNotSavedText = 129;
// What the Orvo holds, the line under the serial: %1 the date, %2 the
// record count, grouped with DigitGroupSeparator.
inline constexpr int HoldingsText = 130;
inline constexpr int HoldingsUndatedText = 131;  // %2: the record count; the date stamp is erased
inline constexpr int NoDatabaseText = 132;
inline constexpr int DigitGroupSeparator = 133;  // between groups of three digits
// %1: the new database's cameras, %2: the Orvo's now; Yes writes it.
inline constexpr int SmallerDatabaseQuestion = 134;
// What the window keeps of its cycles. %1: the history's or the log's own
// text, naming the file and the reason; told once per run.
inline constexpr int HistoryNotUsableText = 140;
inline constexpr int LogNotWritableText = 141;
// The update history dialog: caption, column headings, the line shown when
// nothing is recorded, and the Close button.
inline constexpr int HistoryCaption = 142;
inline constexpr int HistoryStartedColumn = 143;
inline constexpr int HistorySerialColumn = 144;
inline constexpr int HistorySourceColumn = 145;
inline constexpr int HistoryOutcomeColumn = 146;
inline constexpr int CamerasColumn = 147;  // also the restore dialog's
inline constexpr int DatabaseDateColumn = 148;  // also the restore dialog's
inline constexpr int HistoryCauseColumn = 149;
inline constexpr int CloseButtonText = 150;
inline constexpr int HistoryEmptyText = 151;
// Where a cycle's database came from, and how the cycle ended.
inline constexpr int SourceServerText = 152;
inline constexpr int SourceFileText = 153;
inline constexpr int SourceRestoreText = 154;
inline constexpr int OutcomeSucceededText = 155;
inline constexpr int OutcomeAlreadyCurrentText = 156;
inline constexpr int OutcomeFailedText = 157;
inline constexpr int OutcomeInterruptedText = 158;
inline constexpr int OutcomeRunningText = 159;  // a cycle without an end yet
// The restore dialog. %1: the Orvo's serial.
inline constexpr int RestoreCaption = 160;
inline constexpr int RestoreIntroText = 161;
inline constexpr int KeptColumn = 162;
inline constexpr int NoOrvoIdentifiedText = 163;
inline constexpr int NoBackupsText = 164;  // %1: the serial
// What a request for the next cycle got.
inline constexpr int CycleRequestRefusedText = 165;
inline constexpr int CycleRequestTakenText = 166;
// Update from a file: the file chooser's caption and its filter.
inline constexpr int ChooseDatabaseFileCaption = 167;
inline constexpr int DatabaseFileFilter = 168;
// The log folder could not be opened. %1: the folder.
inline constexpr int LogFolderNotOpenedText = 169;
// The buttons of the questions.
inline constexpr int YesButtonText = 170;
inline constexpr int NoButtonText = 171;
// Errors published below the language resources, with their values.
inline constexpr int VerifyFailedText = TextId::VerifyFailed;
inline constexpr int BackupUnreadableText = TextId::BackupUnreadable;
inline constexpr int NoMemoryMapText = TextId::NoMemoryMap;
inline constexpr int NoUsbPermissionText = TextId::NoUsbPermission;
inline constexpr int OtherDeviceAttachedText = TextId::OtherDeviceAttached;
// A download's cause in the history: no connection to the update server.
inline constexpr int DownloadCauseNoServerText = 177;
// The locale name of the toolkit's own translations for this language
// ("de", "fi" …), not shown.
inline constexpr int ToolkitLocaleName = 178;
// The history's cause of a cycle the program's end cut off.
inline constexpr int InterruptedCauseText = 179;
// The cycle's own ends and answers, numbered apart from the texts above.
// The status after "No" to the smaller database: the Orvo keeps its own.
inline constexpr int DatabaseKeptText = 200;
// A requested database waits for an Orvo (none is attached now).
inline constexpr int WrittenOnConnectionText = 201;
// The bar's notice after a restore, instead of text 115.
inline constexpr int RestoreSuccessfulText = 202;
// The history's outcome of a cycle that kept the Orvo's database.
inline constexpr int OutcomeKeptText = 203;
// On Windows, where a USB driver rather than a permission is missing: the
// bar's text while a DFU device is there that the updater cannot open.
inline constexpr int NoUsbDriverText = 204;
// A user's file to write that holds no camera record. %1: the file.
inline constexpr int NotADatabaseFileText = TextId::NotADatabaseFile;

// Menu 128: item 0 is the pop-up's title, the others are keyed by command id.
inline constexpr int MainMenu = 128;
inline constexpr int MenuPopup = 0;
inline constexpr int LanguageCommand = 32771;
inline constexpr int DownloadSettingsCommand = 32772;  // the download selection dialog
inline constexpr int ExitCommand = 57665;
inline constexpr int HistoryCommand = 32780;         // "Update history…"
inline constexpr int RestoreCommand = 32781;         // "Restore previous database…"
inline constexpr int UpdateFromFileCommand = 32782;  // "Update from a file…"
inline constexpr int OpenLogFolderCommand = 32783;

}  // namespace ResourceId
