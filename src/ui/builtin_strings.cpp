#include "ui/builtin_resource_tables.h"
#include "ui/resource_ids.h"

namespace {

ResourceKey String(int id) { return {ResourceKind::String, id, 0}; }
ResourceKey MenuItem(int command) { return {ResourceKind::MenuItem, ResourceId::MainMenu, command}; }

}  // namespace

// The English string table, menu and window title. Ids 103 and 108 are
// reserved for languages but carry no English text: a look-up gives "".
const ResourceTable& BuiltInStringTable() {
    using namespace ResourceId;
    static const ResourceTable table{
        {String(AppTitle), "DFUpdate_tessel"},
        {String(FrameTitle), "Orvo software configuration"},
        {String(ConnectDeviceText), "Switch the Orvo on and connect to your PC\n using a USB lead to start the update."},
        {String(ConnectingText), "Please Wait....\nConnecting to Orvo."},
        {String(SerialPrefixText), "Orvo s/n : "},
        {String(ReconnectText), "the Orvo on and connect .."},
        {String(WritingText), "Downloading data"},
        {String(CompleteText),
         "Download complete, please disconnect the\nOrvo from the PC. Click the X\n to close this program or "
         "reconnect \nOrvo to update again."},
        {String(FailedText), "Update Failed, Reconnect Orvo."},
        {String(DownloadErrorText),
         "An error has occurred whilst downloading the data from the Varnet Server. This error may occur if you "
         "are not connected to the internet, your firewall software has blocked the download process or the "
         "Varnet server is offline due to essential maintenance. Please check your internet connection and "
         "your firewall settings."},
        {String(ErrorCaption), "Orvo Updater Error"},
        {String(UpgradeSuccessfulText), "Upgrade successful !"},
        {String(WorkingFilesErrorText),
         "The downloaded data could not be prepared because the updater cannot write its working files. "
         "Please check that the program folder is writable and that the disk is not full, then start the "
         "updater again."},
        {String(ConfirmCloseWhileWriting),
         "The Orvo is being updated. If you close the program now, the Orvo will be left without a complete "
         "camera database.\n\nClose the program anyway?"},
        {String(DownloadCauseHttpStatus), "The server answered with HTTP status %1."},
        {String(DownloadCauseFolder), "Could not write %1."},
        {String(DownloadCauseNoConnection), "No connection to %1."},
        {String(DownloadCauseTimedOut), "The download timed out."},
        {String(DownloadCauseTruncated), "The server's answer was cut off before its end."},
        {String(DownloadCauseTooLarge), "The server's answer was far too large to be a database."},
        {String(DownloadCauseTransferFailed), "The server's answer could not be received."},
        {String(DownloadCauseNoLength),
         "The server's answer had no length, so it could not be told whether it was complete."},
        {String(DownloadCauseDiskFull), "The disk holding %1 is full."},
        {String(DownloadCauseNotWritable), "The folder %1 may not be written."},
        {String(SettingsNotSavedText),
         "Your settings could not be saved to %1. They will be asked for again at the next start."},
        {String(HoldingsText), "Database of %1, %2 cameras"},
        {String(HoldingsUndatedText), "Database without a date, %2 cameras"},
        {String(NoDatabaseText), "No database"},
        {String(DigitGroupSeparator), ","},
        {String(SmallerDatabaseQuestion), "The new database holds only %1 cameras, the Orvo holds %2 now. Fewer than half may mean the server or the file is incomplete.\n\nWrite the smaller database anyway?"},
        {String(HistoryNotUsableText), "The update history cannot be kept: %1\nUpdates go on without it."},
        {String(LogNotWritableText), "The log cannot be written: %1\nUpdates go on without it."},
        {String(HistoryCaption), "Update history"},
        {String(HistoryStartedColumn), "Started"},
        {String(HistorySerialColumn), "Orvo s/n"},
        {String(HistorySourceColumn), "Source"},
        {String(HistoryOutcomeColumn), "Outcome"},
        {String(CamerasColumn), "Cameras"},
        {String(DatabaseDateColumn), "Database date"},
        {String(HistoryCauseColumn), "Cause"},
        {String(CloseButtonText), "Close"},
        {String(HistoryEmptyText), "No update has been recorded yet."},
        {String(SourceServerText), "Update server"},
        {String(SourceFileText), "File"},
        {String(SourceRestoreText), "Restore"},
        {String(OutcomeSucceededText), "Succeeded"},
        {String(OutcomeAlreadyCurrentText), "Already current"},
        {String(OutcomeFailedText), "Failed"},
        {String(OutcomeInterruptedText), "Interrupted"},
        {String(OutcomeRunningText), "Running"},
        {String(RestoreCaption), "Restore previous database"},
        {String(RestoreIntroText),
         "Databases kept from Orvo s/n %1, newest first. The one you choose is written back with its own date."},
        {String(KeptColumn), "Kept on"},
        {String(NoOrvoIdentifiedText), "No Orvo is connected. Connect the Orvo first, then choose this again."},
        {String(NoBackupsText), "No earlier database of Orvo s/n %1 has been kept yet."},
        {String(CycleRequestRefusedText),
         "The Orvo is being updated now. Please wait until this update has ended, then try again."},
        {String(CycleRequestTakenText),
         "The database will be written the next time the Orvo is connected. If it is connected now, "
         "disconnect it and connect it again."},
        {String(ChooseDatabaseFileCaption), "Choose a database file"},
        {String(DatabaseFileFilter), "Database texts (*.txt);;All files (*)"},
        {String(LogFolderNotOpenedText), "The log folder %1 could not be opened."},
        {String(YesButtonText), "&Yes"},
        {String(NoButtonText), "&No"},
        {String(VerifyFailedText), "Verify failed: the device differs from the database at address %1."},
        {String(BackupUnreadableText),
         "The Orvo's database could not be read to keep a copy of it; nothing was erased."},
        {String(NoMemoryMapText), "Unable to read the memory map of the device..."},
        {String(NoUsbPermissionText), "No USB permission: install the udev rule 70-orvo-dfu.rules"},
        {String(OtherDeviceAttachedText), "Another device was attached before the write."},
        {String(DownloadCauseNoServerText), "No connection to the update server."},
        {String(ToolkitLocaleName), "en"},
        {String(InterruptedCauseText), "The program ended before the update did."},
        {String(DatabaseKeptText), "The Orvo keeps its database. Please\ndisconnect the Orvo from the PC."},
        {String(WrittenOnConnectionText), "The database will be written when the Orvo is connected."},
        {String(RestoreSuccessfulText), "Restore successful !"},
        {String(OutcomeKeptText), "Kept"},
        {String(NoUsbDriverText), "No USB driver for the Orvo: install orvo-dfu.inf"},
        {String(NotADatabaseFileText), "The file %1 holds no camera record: it is not a database text."},
        {MenuItem(MenuPopup), "&Menu"},
        {MenuItem(LanguageCommand), "&Language\tCtrl+L"},
        {MenuItem(DownloadSettingsCommand), "Orvo Safety Camera &Download Setting"},
        {MenuItem(HistoryCommand), "Update &history…"},
        {MenuItem(RestoreCommand), "&Restore previous database…"},
        {MenuItem(UpdateFromFileCommand), "Update from a &file…"},
        {MenuItem(OpenLogFolderCommand), "Open log f&older"},
        {MenuItem(ExitCommand), "E&xit\tCtrl+X"},
    };
    return table;
}
