// The settings window: the bit rate for each sampling rate and channel mode that has a
// choice, and the seven options. The controls are the working state; the settings record
// changes only on OK or Apply.
#pragma once

#include <QDialog>
#include <array>
#include <vector>

#include "driver/convert_settings.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace tembrel {

class CSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CSettingsDialog(QWidget* parent = nullptr);

  private:
    void fillFrom(const ConvertSettings& settings);
    void storeInto(ConvertSettings& settings) const;
    void onOk();
    void onApply();
    void onDefault();

    // Indexed like ConvertSettings::bitRates.
    std::array<QComboBox*, 6> lists_{};
    struct OptionBox {
        QCheckBox* box;
        bool ConvertSettings::*field;
    };
    std::vector<OptionBox> options_;
    QPushButton* apply_ = nullptr;
};

}  // namespace tembrel
