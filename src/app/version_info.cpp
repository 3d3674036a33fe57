// The Retrieve button and the boot version checks: who the connected radio is.

#include "app/code_updater_main_form.h"
#include "app/radio_types.h"
#include "convert/hex_text.h"
#include "programming/radio_programming.h"

namespace aurex {

namespace {

CarriedBootVersions CarriedBoot(const ResourceAttributes& record)
{
    return {record.boot_major, record.boot_minor, record.second_boot_major, record.second_boot_minor};
}

} // namespace

void TCodeUpdaterMainDispForm::m_RetrieveVersionInfoButtonClick()
{
    if (m_ClickHandlerRunning || m_UpdateInProgress) {
        return; // a run or another Retrieve has not returned yet
    }
    ClickHandlerScope handler(*this);
    RunRecordScope record(*this, RunKind::Retrieve);
    m_StartButton.SetEnabled(false);
    m_ComportComboBox.SetEnabled(false);
    m_RetrieveVersionInfoButton.SetEnabled(false);
    m_LastRetrieveStatus.reset();
    if (OpenRadioLink(true)) {
        m_RetrieveVersionInfoButton.SetEnabled(false);
        TargetVersionInfo info;
        const ProgrammingStatus status = ReadTargetVersionInfo(RadioLink, RadioTypeCode, info, true);
        m_LastRetrieveStatus = status;
        if (VersionInfoRead(status)) {
            const VersionLabelTexts texts = VersionLabelTextsFor(info, RadioTypeCode);
            FileVersionLabel.SetCaption(UiText::Verbatim(texts.fileVersion));
            DSPVersionLabel.SetCaption(UiText::Verbatim(texts.dspVersion));
            HWControllerVersionHeadingLabel.SetCaption("Controller Version:");
            HWControllerVersionLabel.SetCaption(UiText::Verbatim(texts.controllerVersion));
            HWRevisionLabel.SetCaption(UiText::Verbatim(texts.hardwareRevision));
            SerialNumberLabel.SetCaption(UiText::Verbatim(texts.serialNumber));
            BootLoadVersionLabel.SetCaption(UiText::Verbatim(texts.bootLoadVersion));
            SEMVersionLabel.SetCaption(UiText::Verbatim(texts.semVersion));
            m_VersionLabelsRead = true;
            m_VersionsBeforeUpdateLabel.SetVisible(false);
            // The records name the radio as its backups' names do; the label keeps its dashes.
            m_RunEvents.FactLearnt("Radio identity", ParmsBytesToText(info.serialNumber),
                                   &HistoryRow::radioIdentity);
            for (const auto& [name, value] : {std::pair{"file format", &texts.fileVersion},
                                              {"dsp", &texts.dspVersion},
                                              {"controller", &texts.controllerVersion},
                                              {"hardware", &texts.hardwareRevision},
                                              {"boot", &texts.bootLoadVersion},
                                              {"sem", &texts.semVersion}}) {
                m_RunEvents.FactLearnt(name, *value, &HistoryRow::versionsBefore);
            }
            record.SetResult(RunResult::Succeeded);
        } else {
            NoteOutcome(RunResult::NoAnswer);
            // The check probes the line itself, so the link lets go of the device first.
            CloseRadioLink();
            ShowError(
                {"%1%2",
                 {std::string(kRetrieveCommErrorText), LikelyCause(SelectedComNumber(), LineProbes::Run)}},
                "Communication");
        }
        m_RetrieveVersionInfoButton.SetEnabled(true);
    }
    CloseRadioLink();
}

void TCodeUpdaterMainDispForm::MarkVersionsReadBeforeUpdate()
{
    if (m_VersionLabelsRead) {
        m_VersionsBeforeUpdateLabel.SetVisible(true);
    }
}

void TCodeUpdaterMainDispForm::NoteBootVersions(const std::array<std::uint8_t, 2>& radio)
{
    const CarriedBootVersions carried = CarriedBoot(ResourceAttributes);
    m_RadioBootVersion = {radio[0], radio[1]};
    m_CarriedBootVersion = UseSecondBootImage
                               ? std::array<std::uint32_t, 2>{carried.secondMajor, carried.secondMinor}
                               : std::array<std::uint32_t, 2>{carried.major, carried.minor};
}

bool TCodeUpdaterMainDispForm::CheckBootVersion()
{
    if (SkipsBootCheck(RadioTypeCode)) {
        return true;
    }
    std::array<std::uint8_t, 2> version{};
    const ProgrammingStatus status = ReadBootVersion(RadioLink, RadioTypeCode, version);
    if (status == ProgrammingStatus::Success) {
        m_RunEvents.FactLearnt("boot", std::to_string(version[0]) + "." + std::to_string(version[1]),
                               &HistoryRow::versionsBefore);
    }
    UseSecondBootImage = false;
    const BootVersionComparison found = CompareBootVersion(status, version, CarriedBoot(ResourceAttributes));
    UseSecondBootImage = found.useSecondBootImage;
    NoteBootVersions(version);
    switch (found.outcome) {
    case BootVersionOutcome::Upgrade:
        m_BootDowngradeRefused = false;
        return !BootDowngrade() || AllowBootDowngrade();
    case BootVersionOutcome::Current:
        ShowStatus(kBootCurrentText);
        return false;
    case BootVersionOutcome::MajorMismatch:
        NoteOutcome(RunResult::RadioDoesNotFit);
        ShowStatus(kBootMajorMismatchText);
        return false;
    case BootVersionOutcome::CommunicationError:
        NoteOutcome(RunResult::NoAnswer);
        ShowStatus(kBootCommErrorText);
        return false;
    }
    return false;
}

bool TCodeUpdaterMainDispForm::QueryBootUpgrade(bool& majorMismatch, bool& communicationError)
{
    majorMismatch = false;
    communicationError = false;
    std::array<std::uint8_t, 2> version{};
    const ProgrammingStatus status = ReadBootVersion(RadioLink, RadioTypeCode, version);
    UseSecondBootImage = false;
    const BootVersionComparison found = CompareBootVersion(status, version, CarriedBoot(ResourceAttributes));
    UseSecondBootImage = found.useSecondBootImage;
    NoteBootVersions(version);
    majorMismatch = found.outcome == BootVersionOutcome::MajorMismatch;
    communicationError = found.outcome == BootVersionOutcome::CommunicationError;
    return found.outcome == BootVersionOutcome::Upgrade;
}

void TCodeUpdaterMainDispForm::ShowSeriesMismatch(unsigned radioModel, int series)
{
    ShowError(
        {"This version of Aurex Code Updater does not match the radio series.\nRadio requires a %1_Series_%2 "
         "version of Aurex Code Updater.",
         {UiText::Verbatim(RadioModelName(radioModel)), UiText::Verbatim(std::to_string(series))}});
}

} // namespace aurex
