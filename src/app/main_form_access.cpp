#include "app/code_updater_main_form.h"

namespace aurex {

void TCodeUpdaterMainDispForm::DescribeControls()
{
    // Tab follows the work: the port, what to load, Start, then the version panel and the menus.
    m_ComportComboBox.SetAccess({.name = "COM port",
                                 .description = "The serial port the radio's programming cable is on",
                                 .tabOrder = 0});
    Label5.SetAccess({.labelFor = "m_ComportComboBox"});
    m_ApplicationRadioButton.SetAccess(
        {.description = "Start loads the application code", .mnemonic = 'A', .tabOrder = 1});
    m_BootRadioButton.SetAccess({.description = "Start loads the boot code", .mnemonic = 'B', .tabOrder = 2});
    m_StartButton.SetAccess(
        {.description = "Starts the update of the radio on the chosen port, or stops a running one",
         .mnemonic = 'S',
         .tabOrder = 3});
    m_RetrieveVersionInfoButton.SetAccess(
        {.description = "Reads the version information of the radio on the chosen port", .tabOrder = 4});
    m_ToggleVersionInfoSpeedButton.SetAccess(
        {.description = "Shows or hides the radio's version information", .tabOrder = 5});
    ToolButton5.SetAccess({.description = "Codeplug backup, restore and exit", .tabOrder = 6});
    ToolButton9.SetAccess(
        {.description = "Connection check, line trace, history, support bundle and about", .tabOrder = 7});
    m_OpenBackupFolderButton.SetAccess({.description = "Opens the folder the codeplug backup was saved in"});
    m_StatusLabel.SetAccess({.description = "Status of the update", .announce = true});
    m_ProgressBar.SetAccess({.name = "Progress", .description = "Progress of the current step"});
    m_RunStepLabel.SetAccess({.description = "Step of the run under way"});
    m_RunTimeLabel.SetAccess({.description = "Time the run has taken, and the time left"});
    for (Control* picture : {&PortableGPicture, &PortableXPicture}) {
        picture->SetAccess(
            {.name = "Picture of the portable radio", .description = "The radio this program updates"});
    }
    for (Control* picture : {&MobileGPicture, &MobileXPicture}) {
        picture->SetAccess(
            {.name = "Picture of the mobile radio", .description = "The radio this program updates"});
    }
    // Whether the cable may be pulled matters as much as the status itself.
    m_DisconnectLabel.SetAccess({.description = "Whether the radio may be disconnected", .announce = true});

    m_FileBackupMenuItem.SetAccess({.description = "Saves the radio's codeplug to a file"});
    m_FileRestoreMenuItem.SetAccess({.description = "Writes a saved codeplug back into a radio"});
    m_FileVerifyMenuItem.SetAccess({.description = "Reads every codeplug written back and compares it"});
    m_FileExitMenuItem.SetAccess({.description = "Closes the updater"});
    m_HelpCheckConnectionMenuItem.SetAccess(
        {.description = "Tests the cable and the radio on the chosen port"});
    m_HelpTraceMenuItem.SetAccess({.description = "Records every byte on the line beside each run's log"});
    m_HelpHistoryMenuItem.SetAccess({.description = "Lists the updates made on this computer"});
    m_HelpBundleMenuItem.SetAccess({.description = "Saves the logs and settings to send to support"});
    m_HelpAboutMenuItem.SetAccess({.description = "Shows the program's version"});
}

} // namespace aurex
