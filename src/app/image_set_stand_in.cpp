// The image set description, until the embedded record is read.

#include <string>

#include "app/code_updater_main_form.h"

namespace aurex {

void TCodeUpdaterMainDispForm::LoadResourceAttributes() {
    if (!environment_.imageSet) {
        return;
    }
    const ImageSetDescription& set = *environment_.imageSet;
    m_RadioModel = set.radioModel;
    m_KindFlag = set.kindFlag;
    m_Series = set.series;
    m_UpgradeType = set.upgradeType;
    static const char* const kTypes[] = {"Application", "Boot", "DSP", "Application_Boot"};
    m_TargetRadioLabel.SetCaption(m_RadioModel == 1 ? "8600" : "8400");
    m_TargetSeriesLabel.SetCaption(std::to_string(m_Series));
    m_TargetUpgradeTypeLabel.SetCaption(m_UpgradeType < 4 ? kTypes[m_UpgradeType] : "");
}

}  // namespace aurex
